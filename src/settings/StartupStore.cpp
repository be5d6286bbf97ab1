#include "StartupStore.h"

#include "IniSettingsStore.h"

#ifdef Q_OS_WIN
#include "RegistrySettingsStore.h"
#endif

namespace tavo {

std::unique_ptr<SettingsStore> makeStartupStore(const QString& iniPath) {
#ifdef Q_OS_WIN
    Q_UNUSED(iniPath);
    return std::make_unique<RegistrySettingsStore>();
#else
    return std::make_unique<IniSettingsStore>(iniPath);
#endif
}

} // namespace tavo
