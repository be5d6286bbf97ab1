#include "ProjectorBank.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

using tavo::sim::Simulator;

ProjectorBank::ProjectorBank(int lines, int projectorsPerLine, int replyDelayMs, int baud) {
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_error = QStringLiteral("pipe2 failed");
        return;
    }
    for (int l = 0; l < lines; ++l) {
        auto line = std::make_unique<Line>(baud);
        if (!line->pty.isValid()) {
            m_error = line->pty.errorString();
            return;
        }
        ::fcntl(line->pty.masterFd(), F_SETFL, O_NONBLOCK);
        for (int p = 0; p < projectorsPerLine; ++p) {
            tavo::sim::SimSettings settings;
            settings.address = address(p);
            settings.lineBaud = baud;
            // No warm-up or cool-down: a power change shows on the next read.
            settings.timing.warmupSeconds = 0;
            settings.timing.cooldownSeconds = 0;
            settings.seed = quint32(7300 + l * 4 + p);
            auto sim = std::make_unique<Simulator>(m_clock, settings);
            sim->faults().slowMs = replyDelayMs;
            line->projectors.push_back(std::move(sim));
        }
        m_lines.push_back(std::move(line));
    }
}

ProjectorBank::~ProjectorBank() {
    stop();
    for (int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
}

void ProjectorBank::start() {
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void ProjectorBank::stop() {
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
    m_thread.join();
}

void ProjectorBank::change(int line, int projector,
                           const std::function<void(tavo::sim::ProjectorModel&)>& what) {
    std::lock_guard<std::mutex> lock(m_mutex);
    what(m_lines[size_t(line)]->projectors[size_t(projector)]->model());
}

ProjectorBank::Clock::time_point ProjectorBank::lastTraffic() const {
    return Clock::time_point(Clock::duration(m_lastTraffic.load()));
}

int ProjectorBank::msUntilOutput() {
    std::optional<qint64> soonest;
    for (const auto& line : m_lines)
        for (const auto& sim : line->projectors)
            if (const auto due = sim->msUntilNextOutput())
                soonest = soonest ? std::min(*soonest, *due) : *due;
    return soonest ? int(std::max<qint64>(0, *soonest)) : -1;
}

void ProjectorBank::pumpOutput() {
    for (const auto& line : m_lines)
        for (const auto& sim : line->projectors)
            if (sim->msUntilNextOutput() == 0)
                line->pty.write(sim->takeOutput());
}

void ProjectorBank::run() {
    std::vector<pollfd> fds(m_lines.size() + 1);
    for (size_t i = 0; i < m_lines.size(); ++i)
        fds[i] = {m_lines[i]->pty.masterFd(), POLLIN, 0};
    fds.back() = {m_wake[0], POLLIN, 0};
    char buffer[4096];
    while (!m_stopping) {
        int timeout;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            timeout = msUntilOutput();
        }
        const int ready = ::poll(fds.data(), nfds_t(fds.size()), timeout);
        const Clock::time_point at = Clock::now();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (ready > 0) {
            for (size_t i = 0; i + 1 < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0)
                    continue;
                const QByteArray bytes(buffer, int(n));
                m_lastTraffic = at.time_since_epoch().count();
                if (m_onBytes)
                    m_onBytes(int(i), at, bytes);
                for (const auto& sim : m_lines[i]->projectors)
                    sim->receive(bytes, 0);
            }
        }
        pumpOutput();
    }
}
