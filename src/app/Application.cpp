#include "Application.h"

#include "PanelMenu.h"

#include "console/Form3Window.h"
#include "log/TrafficLogSettings.h"
#include "settings/DevicesDialog.h"
#include "settings/PortDialog.h"
#include "settings/PortMap.h"

#include <QApplication>

namespace tavo {

Application::Application()
    : m_port([this](int port) { return deviceFor(port); }),
      m_traffic(
          m_port, m_store.path(), [this](int port) { return deviceFor(port); },
          defaultTrafficLogFolder()),
      m_form1(Form1Parts{m_traffic.port(), m_timer1, m_timer2, m_timer4, m_store, m_globals}) {
    m_form1.setPortDialogOpener([this](bool modal) { openPortDialog(modal); });
    m_form1.setConsoleOpener([this] { openConsole(); });
    m_traffic.attach(m_form1.link());
    m_traffic.addShortcut(&m_form1);
    installPanelMenu(m_form1, [this] { m_traffic.showWindow(); });
    watchAddressOptions(m_form1, [this] { m_traffic.statusChanged(); });
}

Application::~Application() {
    delete m_console;
    delete m_portDialog;
}

QString Application::deviceFor(int port) const {
    return deviceForPort(port, m_store.path());
}

int Application::run() {
    start();
    return QApplication::exec();
}

void Application::start() {
    m_form1.load();
    showMain();
}

void Application::showMain() {
    m_form1.show();
    m_form1.raise();
    m_form1.activateWindow();
}

void Application::openPortDialog(bool modal) {
    if (m_portDialog) {
        m_portDialog->raise();
        m_portDialog->activateWindow();
        return;
    }
    m_portDialog = new PortDialog(
        m_traffic.port(), m_store, m_globals, [this](int port) { return deviceFor(port); },
        [this] { showMain(); });
    m_traffic.addShortcut(m_portDialog);
    m_portDialog->setDevicesOpener([this](QWidget* parent) {
        DevicesDialog devices(
            m_store.path(), [this](int port) { return deviceFor(port); }, &presentSerialPorts,
            parent);
        devices.exec();
    });
    if (modal) {
        m_portDialog->exec();
        return;
    }
    m_portDialog->show();
    m_portDialog->raise();
    m_portDialog->activateWindow();
}

void Application::openConsole() {
    if (m_console) {
        m_console->raise();
        m_console->activateWindow();
        return;
    }
    m_console = new Form3Window(m_form1.link(), [this] {
        showMain();
        m_form1.panel().consoleClosed();
    });
    m_traffic.addShortcut(m_console);
    m_console->show();
}

} // namespace tavo
