#include "Application.h"

#include "AppIcon.h"
#include "PanelMenu.h"
#include "ShutdownSignals.h"
#include "StartupStore.h"

#include "DevicesDialog.h"
#include "Form3Window.h"
#include "LoadedNetworkPorts.h"
#include "PortDialog.h"
#include "PortMap.h"
#include "TrafficLogSettings.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace tavo {
namespace {

// The running program, for the exit hook.
Application* g_running = nullptr;

// No one may be there to answer a box while the program is being ended.
void reportSaveFailure(QWidget*, const QString& file, const QString& reason) {
    std::fprintf(stderr, "The settings could not be saved in %s: %s\n", qPrintable(file),
                 qPrintable(reason));
}

// QSettings flushes what it syncs to disk, which a disk may take its time over: the scratch file
// goes to the runtime folder, a tmpfs, when there is one.
bool openScratch(QTemporaryFile& scratch) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) {
        scratch.setFileTemplate(runtime + QStringLiteral("/tavo-XXXXXX.ini"));
        if (scratch.open())
            return true;
    }
    scratch.setFileTemplate(QDir::tempPath() + QStringLiteral("/tavo-XXXXXX.ini"));
    return scratch.open();
}

} // namespace

Application::Application()
    : m_startup(makeStartupStore(m_store.path())),
      m_port([this](int port) { return deviceFor(port); }, loadedNetworkPorts()),
      m_traffic(
          m_port, m_store.path(), [this](int port) { return deviceFor(port); },
          defaultTrafficLogFolder()),
      m_form1(Form1Parts{m_traffic.port(), m_timer1, m_timer2, m_timer4, *m_startup, m_globals}) {
    m_form1.setPortDialogOpener([this](bool modal) { openPortDialog(modal); });
    m_form1.setConsoleOpener([this] { openConsole(); });
    m_traffic.attach(m_form1.link());
    m_traffic.addShortcut(&m_form1);
    installPanelMenu(m_form1, [this] { m_traffic.showWindow(); });
    watchAddressOptions(m_form1, [this] { m_traffic.statusChanged(); });
}

void Application::endOnSignalsAndDisplayLoss() {
    m_signals = std::make_unique<ShutdownSignals>(
        std::initializer_list<int>{SIGTERM, kHangUpSignal, SIGINT}, [this](int) { endBySignal(); });
    // A lost display connection ends the process through exit() from inside
    // Qt: close the port (and so remove its lock file) on the way out. Exit
    // hooks run in reverse order of registration, and QSettings creates its
    // shared tables on first use: use it once first, so that they are still
    // there when the hook stores the address.
    {
        QTemporaryFile scratch;
        if (openScratch(scratch)) {
            QSettings warmUp(scratch.fileName(), QSettings::IniFormat);
            warmUp.setValue(QStringLiteral("StartUP/ADRESS"), QString());
            warmUp.sync();
        }
    }
    g_running = this;
    static const bool hooked = std::atexit(&Application::closeAtExit) == 0;
    Q_UNUSED(hooked);
}

Application::~Application() {
    g_running = nullptr;
    delete m_console;
    delete m_portDialog;
}

// As the close box: the address is stored, the port closed, the process ends
// with status 0. Also while the start-up port dialog runs its own loop.
void Application::endBySignal() {
    if (m_ending)
        return;
    m_ending = true;
    m_form1.setSaveWarningPresenter(&reportSaveFailure);
    m_form1.close();
    if (m_portDialog)
        m_portDialog->done(QDialog::Rejected);
    QCoreApplication::exit(0);
}

void Application::closeAtExit() {
    if (!g_running)
        return;
    // The lock file first, whatever happens to the rest.
    g_running->m_port.setPortOpen(false);
    g_running->m_form1.setSaveWarningPresenter(&reportSaveFailure);
    g_running->m_form1.unload();
}

QString Application::deviceFor(int port) const {
    return deviceForPort(port, m_store.path());
}

int Application::run() {
    start();
    if (m_ending) // signalled while the start-up dialog was open
        return 0;
    return QApplication::exec();
}

void Application::start() {
    m_form1.load();
    if (m_ending)
        return;
    showMain();
}

void Application::showMain() {
    m_form1.show();
    setAppIconAfterFirstFrame(&m_form1);
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
        m_traffic.port(), *m_startup, m_globals, [this](int port) { return deviceFor(port); },
        [this] { showMain(); });
    m_traffic.addShortcut(m_portDialog);
    setAppIconNow();
    m_portDialog->setDevicesOpener([this](QWidget* parent) {
        DevicesDialog devices(
            m_store.path(), [this](int port) { return deviceFor(port); }, &presentPorts, parent);
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
