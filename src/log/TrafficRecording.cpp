#include "TrafficRecording.h"

#include "TrafficFileWriter.h"
#include "TrafficLogSettings.h"
#include "TrafficLogWindow.h"

#include "link/ProjectorLink.h"

#include <QDateTime>
#include <QShortcut>

namespace tavo {

TrafficRecording::TrafficRecording(SerialPort& port, const QString& settingsPath,
                                   DeviceResolver resolveDevice, const QString& logFolder,
                                   QObject* parent)
    : QObject(parent), m_port(port), m_observed(port), m_resolveDevice(std::move(resolveDevice)),
      m_recorder(
          port, m_rowTimer, [] { return QDateTime::currentMSecsSinceEpoch(); },
          [this] { return m_link ? m_link->state.AddressPrefix : QByteArray(); },
          [this](const TrafficRow& row) { record(row); }) {
    if (trafficLogFileEnabled(settingsPath)) {
        m_file = std::make_unique<TrafficFileWriter>(
            logFolder, [this](const QString& problem) { reportLogProblem(problem); });
    }
    m_observed.setObserver(&m_recorder);
}

TrafficRecording::~TrafficRecording() {
    // The link goes before this (the main window is made after it).
    m_observed.setObserver(nullptr);
    delete m_window;
}

void TrafficRecording::attach(ProjectorLink& link) {
    m_link = &link;
    link.setTrafficObserver(&m_recorder);
}

void TrafficRecording::record(const TrafficRow& row) {
    m_log.append(row);
    if (m_file)
        m_file->write(row);
}

void TrafficRecording::reportLogProblem(const QString& problem) {
    m_logProblem = problem;
    ++m_logProblemReports;
    if (m_window)
        m_window->setLogProblem(problem);
}

QString TrafficRecording::statusText() const {
    const int number = m_port.commPort();
    QString device = m_port.deviceName();
    if (m_resolveDevice)
        device = m_resolveDevice(number);
    const QString baud = m_port.settings().section(QLatin1Char(','), 0, 0);
    const QString state = m_port.portOpen()   ? QStringLiteral("open")
                          : m_recorder.lost() ? QStringLiteral("lost")
                                              : QStringLiteral("closed");
    const QByteArray address = m_link ? m_link->state.AddressPrefix : QByteArray();
    QStringList parts{QStringLiteral("COM%1 → %2").arg(number).arg(device),
                      QStringLiteral("%1 baud").arg(baud), state,
                      QStringLiteral("address ") + (address.isEmpty()
                                                        ? QStringLiteral("none")
                                                        : QString::fromLatin1(address))};
    const QString error = m_port.openError();
    if (!error.isEmpty())
        parts << QStringLiteral("last error: ") + error;
    return parts.join(QStringLiteral(" · "));
}

void TrafficRecording::statusChanged() {
    if (m_window)
        m_window->refreshStatus();
}

TrafficLogWindow* TrafficRecording::window() const {
    return m_window;
}

void TrafficRecording::showWindow() {
    if (!m_window) {
        m_window = new TrafficLogWindow(m_log);
        m_window->setStatusSource([this] { return statusText(); });
        if (!m_logProblem.isEmpty())
            m_window->setLogProblem(m_logProblem);
    }
    m_window->refreshStatus();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void TrafficRecording::addShortcut(QWidget* window) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), window);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &TrafficRecording::showWindow);
}

} // namespace tavo
