#include "sim/SignalWatcher.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tavo::sim {

namespace {

// Write end of the self-pipe; one watcher per process, as signal dispositions are per process.
int writeEnd = -1;

void onSignal(int signalNumber) {
    const auto byte = char(signalNumber);
    [[maybe_unused]] const ssize_t ignored = ::write(writeEnd, &byte, 1);
}

} // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatcher::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : signalNumbers)
        ::sigaction(signalNumber, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    notifier_.reset();
    for (int& fd : pipe_) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalWatcher::drain() {
    char byte = 0;
    while (::read(pipe_[0], &byte, 1) == 1)
        emit caught(int(byte));
}

} // namespace tavo::sim
