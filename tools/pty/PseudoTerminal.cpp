#include "PseudoTerminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace {

struct SpeedCode {
    int baud;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {{1200, B1200},   {2400, B2400},     {4800, B4800},
                                 {9600, B9600},   {19200, B19200},   {38400, B38400},
                                 {57600, B57600}, {115200, B115200}, {230400, B230400}};

speed_t speedCode(int baud) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.baud == baud)
            return s.code;
    }
    return B9600;
}

int baudOf(speed_t code) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.code == code)
            return s.baud;
    }
    return 0;
}

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    open(0);
}

PseudoTerminal::PseudoTerminal(int initialBaud) {
    open(initialBaud);
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    closeSlave();
}

// `initialBaud` 0 leaves the speed as the system sets it.
bool PseudoTerminal::open(int initialBaud) {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_error = systemError("openpty");
        m_master = m_slave = -1;
        return false;
    }
    termios raw{};
    if (::tcgetattr(m_slave, &raw) != 0) {
        m_error = systemError("tcgetattr");
        closeMaster();
        closeSlave();
        return false;
    }
    ::cfmakeraw(&raw);
    if (initialBaud > 0) {
        ::cfsetispeed(&raw, speedCode(initialBaud));
        ::cfsetospeed(&raw, speedCode(initialBaud));
    }
    if (::tcsetattr(m_slave, TCSANOW, &raw) != 0) {
        m_error = systemError("tcsetattr");
        closeMaster();
        closeSlave();
        return false;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Programs started from here (the console, the simulator) open the slave by its path.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_slavePath = QString::fromLocal8Bit(name);
    return true;
}

int PseudoTerminal::consoleBaud() const {
    termios settings{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &settings) != 0)
        return 0;
    speed_t speed = ::cfgetispeed(&settings);
    if (speed == B0) // an input speed of 0 means "same as output"
        speed = ::cfgetospeed(&settings);
    return baudOf(speed);
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
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
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
