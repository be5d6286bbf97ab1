#pragma once

#include <QString>

namespace tavo {

// Who else uses a serial device, found through /proc. Each answer is a plain
// sentence for the operator, empty when nothing was found.

// The device is the controlling terminal of a session (a shell's
// pseudo-terminal, a console) or /dev/tty itself. Processes whose /proc
// entries cannot be read (another PID namespace, hidepid) are not seen.
QString terminalUse(const QString& device);

// Says which process holds the flock() on the device, for a refused
// flock(LOCK_EX | LOCK_NB).
QString flockUse(const QString& device);

} // namespace tavo
