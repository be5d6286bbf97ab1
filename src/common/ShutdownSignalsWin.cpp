#include "ShutdownSignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <vector>

#include <windows.h>

namespace tavo {
namespace {

// The instance the console's control handler posts to; the handler runs on a thread of the
// system's own.
std::atomic<ShutdownSignals*> g_instance{nullptr};
std::vector<int> g_wanted;
std::function<void(int)>* g_onSignal = nullptr;

bool wanted(int number) {
    return std::find(g_wanted.begin(), g_wanted.end(), number) != g_wanted.end();
}

int signalForControlEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_CLOSE_EVENT:
        return kHangUpSignal;
    case CTRL_BREAK_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        return SIGTERM;
    default:
        return 0;
    }
}

BOOL WINAPI onControlEvent(DWORD event) {
    const int number = signalForControlEvent(event);
    ShutdownSignals* instance = g_instance.load();
    if (number == 0 || instance == nullptr || !wanted(number))
        return FALSE;
    QMetaObject::invokeMethod(
        instance,
        [number] {
            if (g_onSignal && *g_onSignal)
                (*g_onSignal)(number);
        },
        Qt::QueuedConnection);
    // For these the system ends the process as soon as the handler returns: give the event loop
    // the time to close the port and store the settings (the program exits while we wait). The
    // system allows about five seconds.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::Sleep(4500);
    return TRUE;
}

// WM_ENDSESSION reaches the windows of a program with windows: the session ends when the message
// has been handled, so the work is done before returning.
class EndSessionFilter : public QAbstractNativeEventFilter {
public:
    explicit EndSessionFilter(std::function<void(int)> call) : m_call(std::move(call)) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_ENDSESSION || msg->wParam == FALSE || !wanted(SIGTERM))
            return false;
        m_call(SIGTERM);
        if (result)
            *result = 0;
        return true;
    }

private:
    std::function<void(int)> m_call;
};

} // namespace

struct ShutdownSignals::Native {
    std::unique_ptr<EndSessionFilter> filter;

    ~Native() {
        ::SetConsoleCtrlHandler(onControlEvent, FALSE);
        g_instance = nullptr;
        g_onSignal = nullptr;
        if (filter && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(filter.get());
    }
};

ShutdownSignals::ShutdownSignals(std::initializer_list<int> signalNumbers,
                                 std::function<void(int)> handler, QObject* parent)
    : QObject(parent), m_native(std::make_unique<Native>()), m_onSignal(std::move(handler)) {
    g_wanted.assign(signalNumbers.begin(), signalNumbers.end());
    g_onSignal = &m_onSignal;
    g_instance = this;
    ::SetConsoleCtrlHandler(onControlEvent, TRUE);
    if (QCoreApplication::instance()) {
        m_native->filter = std::make_unique<EndSessionFilter>([this](int number) {
            if (m_onSignal)
                m_onSignal(number);
        });
        QCoreApplication::instance()->installNativeEventFilter(m_native->filter.get());
    }
}

ShutdownSignals::~ShutdownSignals() = default;

} // namespace tavo
