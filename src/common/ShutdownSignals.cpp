#include "ShutdownSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo {
namespace {

int g_writeEnd = -1;

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t ignored = ::write(g_writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

struct ShutdownSignals::Native {
    int sockets[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;

    ~Native() {
        notifier.reset();
        g_writeEnd = -1;
        for (int& fd : sockets) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
};

ShutdownSignals::ShutdownSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), m_native(std::make_unique<Native>()) {
    int* sockets = m_native->sockets;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sockets) != 0)
        return;
    g_writeEnd = sockets[1];

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t caught;
    sigemptyset(&caught);
    for (const int signalNumber : signalNumbers) {
        ::sigaction(signalNumber, &action, nullptr);
        sigaddset(&caught, signalNumber);
    }
    ::pthread_sigmask(SIG_UNBLOCK, &caught, nullptr);
}

ShutdownSignals::ShutdownSignals(std::initializer_list<int> signalNumbers,
                                 std::function<void(int)> handler, QObject* parent)
    : ShutdownSignals(signalNumbers, parent) {
    setHandler(std::move(handler));
}

void ShutdownSignals::setHandler(std::function<void(int)> onSignal) {
    m_onSignal = std::move(onSignal);
    int* sockets = m_native->sockets;
    if (sockets[0] < 0 || m_native->notifier)
        return;
    m_native->notifier = std::make_unique<QSocketNotifier>(sockets[0], QSocketNotifier::Read);
    connect(m_native->notifier.get(), &QSocketNotifier::activated, this, [this, sockets] {
        char byte = 0;
        while (::read(sockets[0], &byte, 1) == 1) {
            if (m_onSignal)
                m_onSignal(static_cast<unsigned char>(byte));
        }
    });
}

ShutdownSignals::~ShutdownSignals() = default;

} // namespace tavo
