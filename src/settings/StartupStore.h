#pragma once

#include "SettingsStore.h"

#include <QString>

#include <memory>

namespace tavo {

// Where the console keeps "ComPort", "BaudRate" and "ADRESS": on Windows the registry key the
// earlier Windows program used (RegistrySettingsStore), elsewhere the [StartUP] section of the
// INI file at `iniPath`. Everything else ([Ports], [Log]) is in that INI file on every system.
std::unique_ptr<SettingsStore> makeStartupStore(const QString& iniPath);

} // namespace tavo
