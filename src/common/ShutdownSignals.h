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
class ShutdownSignals : public QObject {
public:
    ShutdownSignals(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal,
                    QObject* parent = nullptr);
    ~ShutdownSignals() override;

private:
    void drain();

    int m_sockets[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(int)> m_onSignal;
};

} // namespace tavo
