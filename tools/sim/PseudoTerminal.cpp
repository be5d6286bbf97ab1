#include "sim/PseudoTerminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tavo::sim {

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
                                        QString::fromLocal8Bit(strerror(errno)));
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PseudoTerminal::~PseudoTerminal() {
    closeFd(master_);
    closeFd(slave_);
}

bool PseudoTerminal::open(int initialBaud, QString* error) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        *error = systemError("openpty");
        return false;
    }
    char name[256] = {};
    if (::ttyname_r(slave_, name, sizeof name) != 0) {
        *error = systemError("ttyname");
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);

    termios settings{};
    if (::tcgetattr(slave_, &settings) != 0) {
        *error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, speedCode(initialBaud));
    ::cfsetospeed(&settings, speedCode(initialBaud));
    if (::tcsetattr(slave_, TCSANOW, &settings) != 0) {
        *error = systemError("tcsetattr");
        return false;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    return true;
}

int PseudoTerminal::consoleBaud() const {
    termios settings{};
    if (::tcgetattr(slave_, &settings) != 0)
        return 0;
    speed_t speed = ::cfgetispeed(&settings);
    if (speed == B0) // an input speed of 0 means "same as output"
        speed = ::cfgetospeed(&settings);
    return baudOf(speed);
}

QByteArray PseudoTerminal::readAvailable() {
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

void PseudoTerminal::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

} // namespace tavo::sim
