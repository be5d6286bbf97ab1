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

ShutdownSignals::ShutdownSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_sockets) != 0)
        return;
    g_writeEnd = m_sockets[1];

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
    if (m_sockets[0] < 0 || m_notifier)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_sockets[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ShutdownSignals::drain);
}

ShutdownSignals::~ShutdownSignals() {
    m_notifier.reset();
    g_writeEnd = -1;
    for (int& fd : m_sockets) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void ShutdownSignals::drain() {
    char byte = 0;
    while (::read(m_sockets[0], &byte, 1) == 1) {
        if (m_onSignal)
            m_onSignal(static_cast<unsigned char>(byte));
    }
}

} // namespace tavo
