#include "PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    closeSlave();
}

QByteArray PseudoTerminal::readAvailable() {
    QByteArray out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, int(n));
    }
    return out;
}

bool PseudoTerminal::readUntil(char terminator, int timeoutMs, QByteArray* out) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!out->contains(terminator)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0)
            return false;
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, int(left.count()) + 1) > 0)
            out->append(readAvailable());
    }
    return true;
}

bool PseudoTerminal::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0)
            return false;
        done += n;
    }
    return true;
}

void PseudoTerminal::closeMaster() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PseudoTerminal::closeSlave() {
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}
