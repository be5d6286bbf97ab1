#pragma once

#include <QObject>
#include <QTimer>

namespace tavo::gateway {

// Tells systemd how the service is (Type=notify): READY=1 once it serves, RELOADING=1 while it
// reads its site file again, STOPPING=1 when it stops, and WATCHDOG=1 at half the unit's
// WatchdogSec= from the event loop's own timer, so a loop that stalls misses its keep-alives and
// systemd restarts the service. Outside systemd (no NOTIFY_SOCKET, no WATCHDOG_USEC) it sends
// nothing.
class ServiceNotifier : public QObject {
public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    void ready(const QString& status);
    // Around a reload: RELOADING=1 now, READY=1 (ready()) once it is done or refused.
    void reloading(const QString& status);
    void stopping(const QString& status);

private:
    QTimer m_watchdog;
};

} // namespace tavo::gateway
