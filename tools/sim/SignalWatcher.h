#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <initializer_list>
#include <memory>

namespace tavo::sim {

// Turns SIGINT, SIGTERM and the like into a Qt signal through a self-pipe, so shutdown runs in
// the event loop and not inside a signal handler.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void caught(int signalNumber);

private:
    void drain();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tavo::sim
