#include "QtTimer.h"

namespace tavo {

QtTimer::QtTimer(int designInterval) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(designInterval);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { fire(); });
}

void QtTimer::setEnabled(bool enabled) {
    if (enabled == m_timer.isActive())
        return;
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

} // namespace tavo
