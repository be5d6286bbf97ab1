#include "BenchConsole.h"

#include "SettingsStore.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <cstdio>

BenchConsole::BenchConsole(Route route, bool serverCharDelay, bool recorded, QString gateway)
    : m_route(route), m_server(pty.slavePath(), QStringLiteral("9600n81"), serverCharDelay),
      m_share(std::move(gateway)), m_store(m_configDir.filePath(QStringLiteral("TAVO/TAVO.ini"))),
      m_port(
          [this](int) {
              switch (m_route) {
              case Route::RawTcp:
                  return m_server.rawUrl();
              case Route::Rfc2217:
                  return m_server.rfc2217Url();
              case Route::Share:
                  return m_share.url();
              default:
                  return pty.slavePath();
              }
          },
          tavo::loadedNetworkPorts()),
      m_traffic(recorded ? std::make_unique<tavo::TrafficRecording>(m_port, m_store.path(), nullptr,
                                                                    logFolder())
                         : nullptr),
      m_form1(tavo::Form1Parts{m_traffic ? m_traffic->port() : m_port, m_timer1, m_timer2, m_timer4,
                               m_store, m_globals}) {
    if (m_traffic)
        m_traffic->attach(m_form1.link());
    m_store.save(tavo::keys::ComPort, QStringLiteral("1"));
    m_store.save(tavo::keys::BaudRate, QStringLiteral("96"));
    m_form1.setQuit([] {});
}

bool BenchConsole::start() {
    QString error;
    const bool served = m_route == Route::Share    ? m_share.start(pty, &error)
                        : m_route != Route::Direct ? m_server.start(&error)
                                                   : true;
    if (!served) {
        std::fprintf(stderr, "mx7300-bench: %s\n", qPrintable(error));
        return false;
    }
    m_form1.load();
    if (!m_port.portOpen())
        return false;
    m_form1.show();
    if (!QTest::qWaitForWindowExposed(&m_form1))
        return false;
    // Ctrl+H: the full panel with the transcript and status lines.
    QTest::keyClick(&m_form1, Qt::Key_H, Qt::ControlModifier);
    settle(200);
    return label("Label25")->isVisible();
}

QPushButton* BenchConsole::button(const char* name) const {
    return m_form1.controls().widget<QPushButton>(QLatin1String(name));
}

QLabel* BenchConsole::label(const char* name) const {
    return m_form1.controls().widget<QLabel>(QLatin1String(name));
}

void BenchConsole::stopDisplayTimers() {
    m_timer2.setEnabled(false);
    m_timer4.setEnabled(false);
}

void BenchConsole::settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
