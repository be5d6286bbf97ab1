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
// system's own. Requests that come before the handler is set wait in g_pending, one bit each.
std::atomic<ShutdownSignals*> g_instance{nullptr};
std::atomic<bool> g_handlerSet{false};
std::atomic<unsigned> g_pending{0};
std::vector<int> g_wanted;
std::function<void(int)>* g_onSignal = nullptr;

bool wanted(int number) {
    return std::find(g_wanted.begin(), g_wanted.end(), number) != g_wanted.end();
}

// Hands every waiting request to the handler, on the instance's thread.
void deliverPending() {
    const unsigned pending = g_pending.exchange(0);
    for (int number = 0; number < 32; ++number) {
        if ((pending & (1u << number)) != 0 && g_onSignal && *g_onSignal)
            (*g_onSignal)(number);
    }
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
    g_pending.fetch_or(1u << number);
    if (g_handlerSet.load())
        QMetaObject::invokeMethod(instance, deliverPending, Qt::QueuedConnection);
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
        g_handlerSet = false;
        g_pending = 0;
        g_onSignal = nullptr;
        if (filter && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(filter.get());
    }
};

ShutdownSignals::ShutdownSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), m_native(std::make_unique<Native>()) {
    g_wanted.assign(signalNumbers.begin(), signalNumbers.end());
    g_onSignal = &m_onSignal;
    g_instance = this;
    ::SetConsoleCtrlHandler(onControlEvent, TRUE);
}

ShutdownSignals::ShutdownSignals(std::initializer_list<int> signalNumbers,
                                 std::function<void(int)> handler, QObject* parent)
    : ShutdownSignals(signalNumbers, parent) {
    setHandler(std::move(handler));
}

void ShutdownSignals::setHandler(std::function<void(int)> onSignal) {
    m_onSignal = std::move(onSignal);
    if (!m_native->filter && QCoreApplication::instance()) {
        m_native->filter = std::make_unique<EndSessionFilter>([this](int number) {
            if (m_onSignal)
                m_onSignal(number);
        });
        QCoreApplication::instance()->installNativeEventFilter(m_native->filter.get());
    }
    g_handlerSet = true;
    if (g_pending.load() != 0)
        QMetaObject::invokeMethod(this, deliverPending, Qt::QueuedConnection);
}

ShutdownSignals::~ShutdownSignals() = default;

} // namespace tavo
