#pragma once

#include <QObject>

#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>

namespace tavo {

// The hang-up signal's number. Windows has no such signal: a console window closed under the
// program is reported with this number, as POSIX numbers a hang-up.
#ifdef SIGHUP
constexpr int kHangUpSignal = SIGHUP;
#else
constexpr int kHangUpSignal = 1;
#endif

// Turns the system's requests to stop into a call on the UI thread, with the signal's number.
// On POSIX systems: SIGTERM, SIGHUP and SIGINT, through a socket pair (the handler only writes
// the number, the event loop does the work). On Windows: the console's control events (Ctrl+C
// as SIGINT, Ctrl+Break, log-off and shut-down as SIGTERM, the console window closed as
// kHangUpSignal) and WM_ENDSESSION (SIGTERM) for a program with windows. Only the numbers
// asked for are reported. One instance per process (dispositions are per process).
//
// A program that must catch them before it has built what a stop undoes constructs it first
// without a handler (even before QCoreApplication) and sets the handler once its event loop is
// about to run: a request that came meanwhile waits and is handled then. On POSIX systems the
// signals are also unblocked, so a parent that started us with them blocked cannot keep us from
// stopping.
class ShutdownSignals : public QObject {
public:
    explicit ShutdownSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ShutdownSignals(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal,
                    QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // Needs the thread's event dispatcher (QCoreApplication made); at most once.
    void setHandler(std::function<void(int)> onSignal);

    struct Native; // the system's side, one per platform

private:
    std::unique_ptr<Native> m_native;
    std::function<void(int)> m_onSignal;
};

} // namespace tavo
