#include "Log.h"

#include <cstdio>

namespace tavo::gateway {

void logLine(Priority priority, const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')); // one event, one line
    const QByteArray out = QStringLiteral("<%1>%2\n").arg(int(priority)).arg(line).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

} // namespace tavo::gateway
