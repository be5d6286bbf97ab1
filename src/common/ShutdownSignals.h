#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>
#include <memory>

class QSocketNotifier;

namespace tavo {

// Turns SIGTERM, SIGHUP and SIGINT into a call on the UI thread through a
// socket pair: the handler only writes the signal number, the event loop
// does the work. One instance per process (dispositions are per process).
//
// A program that must catch them before it has built what a stop undoes
// constructs it first without a handler (even before QCoreApplication) and
// sets the handler once its event loop is about to run: a signal that came
// meanwhile waits in the socket pair and is handled then. The signals are
// also unblocked, so a parent that started us with them blocked cannot keep
// us from stopping.
class ShutdownSignals : public QObject {
public:
    explicit ShutdownSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ShutdownSignals(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal,
                    QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // Needs the thread's event dispatcher (QCoreApplication made); at most once.
    void setHandler(std::function<void(int)> onSignal);

private:
    void drain();

    int m_sockets[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(int)> m_onSignal;
};

} // namespace tavo
