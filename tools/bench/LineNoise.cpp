#include "LineNoise.h"

#include "BenchConsole.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <poll.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

bool readable(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
}

void postClick(QPushButton* button) {
    const QPoint centre = button->rect().center();
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, centre,
                                                        button->mapToGlobal(centre), Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, centre,
                                                        button->mapToGlobal(centre), Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}

} // namespace

qint64 floodAtLineRate(BenchConsole& c, QRandomGenerator& random, int ms,
                       std::vector<double>* clicks) {
    QPushButton* on = c.button("Command17");
    QElapsedTimer clock;
    clock.start();
    qint64 written = 0;
    qint64 nextClick = 500;
    while (clock.elapsed() < ms) {
        const qint64 due = clock.elapsed() * 1920 / 1000;
        QByteArray bytes(int(due - written), Qt::Uninitialized);
        for (char& b : bytes)
            b = char(random.bounded(256));
        if (!bytes.isEmpty() && c.pty.write(bytes))
            written += bytes.size();
        if (clicks && clock.elapsed() >= nextClick) {
            nextClick += 1000;
            c.pty.readAvailable();
            const Clock::time_point start = Clock::now();
            postClick(on);
            while (!readable(c.pty.masterFd()) && Clock::now() - start < std::chrono::seconds(2))
                QCoreApplication::processEvents();
            if (readable(c.pty.masterFd()))
                clicks->push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            c.pty.readAvailable();
        }
        BenchConsole::settle(10);
    }
    return written;
}
