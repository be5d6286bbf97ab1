#include "PjlinkPool.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

struct Client {
    int fd = -1;
    QByteArray pending;
    bool greeted = false;
    bool waiting = false;
    Clock::time_point sentAt;
    Clock::time_point nextAt;
};

int connectTo(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

} // namespace

PjlinkPoolResult runPjlinkPool(quint16 basePort, int connections, int seconds, int rate) {
    PjlinkPoolResult result;
    std::vector<Client> clients(static_cast<size_t>(connections));
    const Clock::time_point start = Clock::now() + std::chrono::milliseconds(500);
    const Clock::time_point end = start + std::chrono::seconds(seconds);
    // Each client asks once every `connections / rate` seconds; together, `rate` a second.
    const auto period = std::chrono::microseconds(1000000LL * connections / std::max(1, rate));
    for (int i = 0; i < connections; ++i) {
        clients[size_t(i)].fd = connectTo(quint16(basePort + i));
        clients[size_t(i)].nextAt = start + period * i / connections;
        result.connected += clients[size_t(i)].fd >= 0 ? 1 : 0;
    }
    std::vector<pollfd> fds(clients.size());
    const QByteArray question = "%1POWR ?\r";
    char buffer[512];
    // Answers to the last questions are still read for a moment after the end.
    const Clock::time_point drained = end + std::chrono::milliseconds(200);
    while (Clock::now() < drained) {
        Clock::time_point next = drained;
        for (size_t i = 0; i < clients.size(); ++i) {
            fds[i] = {clients[i].fd, POLLIN, 0};
            if (clients[i].fd >= 0 && clients[i].greeted && clients[i].nextAt < next)
                next = clients[i].nextAt;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now());
        timespec timeout{0, 0};
        if (wait.count() > 0)
            timeout = {time_t(wait.count() / 1000000000), long(wait.count() % 1000000000)};
        const int ready = ::ppoll(fds.data(), nfds_t(fds.size()), &timeout, nullptr);
        const Clock::time_point now = Clock::now();
        for (size_t i = 0; ready > 0 && i < clients.size(); ++i) {
            Client& c = clients[i];
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            c.pending.append(buffer, int(n));
            qsizetype cr;
            while ((cr = c.pending.indexOf('\r')) >= 0) {
                const QByteArray line = c.pending.left(cr);
                c.pending.remove(0, cr + 1);
                if (!c.greeted) {
                    c.greeted = line == "PJLINK 0";
                    result.wrongAnswers += c.greeted ? 0 : 1;
                } else if (c.waiting && line.startsWith("%1POWR=")) {
                    c.waiting = false;
                    result.latenciesUs.push_back(
                        std::chrono::duration<double, std::micro>(now - c.sentAt).count());
                } else {
                    ++result.wrongAnswers;
                }
            }
        }
        for (Client& c : clients) {
            if (c.fd < 0 || !c.greeted || Clock::now() < c.nextAt || c.nextAt >= end)
                continue;
            if (c.waiting)
                ++result.unanswered;
            c.sentAt = Clock::now();
            c.waiting = ::write(c.fd, question.constData(), size_t(question.size())) ==
                        ssize_t(question.size());
            c.nextAt += period;
        }
    }
    for (Client& c : clients) {
        result.unanswered += c.waiting ? 1 : 0;
        if (c.fd >= 0)
            ::close(c.fd);
    }
    return result;
}
