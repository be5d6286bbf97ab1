#include "ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <ctime>

namespace tavo::gateway {
namespace {

void notify(const QString& state, const QString& status) {
    QString text = state;
    if (!status.isEmpty()) {
        QString line = status;
        line.replace(QLatin1Char('\n'), QLatin1Char(' ')); // STATUS= is one line
        text += QStringLiteral("\nSTATUS=") + line;
    }
    ::sd_notify(0, text.toUtf8().constData());
}

} // namespace

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent) {
    std::uint64_t usec = 0;
    if (::sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    m_watchdog.setTimerType(Qt::PreciseTimer);
    m_watchdog.setInterval(int(qBound<std::uint64_t>(1, usec / 2000, 24 * 3600 * 1000)));
    connect(&m_watchdog, &QTimer::timeout, this, [] { ::sd_notify(0, "WATCHDOG=1"); });
    m_watchdog.start();
}

void ServiceNotifier::ready(const QString& status) {
    notify(QStringLiteral("READY=1"), status);
}

void ServiceNotifier::reloading(const QString& status) {
    // The monotonic time lets a newer systemd tell this reload from an earlier one.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const quint64 usec = quint64(now.tv_sec) * 1000000u + quint64(now.tv_nsec) / 1000u;
    notify(QStringLiteral("RELOADING=1\nMONOTONIC_USEC=%1").arg(usec), status);
}

void ServiceNotifier::stopping(const QString& status) {
    notify(QStringLiteral("STOPPING=1"), status);
}

} // namespace tavo::gateway
