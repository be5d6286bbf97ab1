#pragma once

#include <QString>

namespace tavo::gateway {

// One line on standard error with the syslog priority prefix journald reads ("<3>" error,
// "<4>" warning, "<6>" info), so a service's log keeps its levels.
enum class Priority { Error = 3, Warning = 4, Info = 6 };
void logLine(Priority priority, const QString& text);

} // namespace tavo::gateway
