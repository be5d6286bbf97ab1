#include "sim/SimHost.h"

#include "sim/ControlCommands.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tavo::sim {

void printLine(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

SimHost::SimHost(Simulator& sim, PseudoTerminal& line, bool exitOnEof, QObject* parent)
    : QObject(parent), sim_(sim), line_(line), exitOnEof_(exitOnEof),
      lineNotifier_(line.masterFd(), QSocketNotifier::Read) {
    connect(&lineNotifier_, &QSocketNotifier::activated, this, &SimHost::readLine);

    pumpTimer_.setTimerType(Qt::PreciseTimer);
    pumpTimer_.setSingleShot(true);
    connect(&pumpTimer_, &QTimer::timeout, this, &SimHost::pump);

    if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
        stdinNotifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(stdinNotifier_.get(), &QSocketNotifier::activated, this,
                &SimHost::readControlInput);
    }
    pump(); // output that start-up faults (noise) already scheduled
}

void SimHost::readLine() {
    const QByteArray bytes = line_.readAvailable();
    if (bytes.isEmpty())
        return;
    // The console may change its speed at any time, so look at it for every chunk.
    sim_.receive(bytes, line_.consoleBaud());
    pump();
}

void SimHost::readControlInput() {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) {
        stdinPending_.append(buffer, n);
        runControlLines();
        return;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    stdinNotifier_->setEnabled(false); // end of file: nothing more will be typed
    if (exitOnEof_)
        emit quitRequested();
}

void SimHost::runControlLines() {
    int end = -1;
    while ((end = int(stdinPending_.indexOf('\n'))) >= 0) {
        const QString line = QString::fromLocal8Bit(stdinPending_.left(end));
        stdinPending_.remove(0, end + 1);
        const ControlReply reply = runControlCommand(sim_, line);
        if (!reply.text.isEmpty())
            printLine(reply.text);
        if (reply.quit) {
            emit quitRequested();
            return;
        }
    }
    pump();
}

void SimHost::pump() {
    const QByteArray out = sim_.takeOutput();
    // What the line cannot take now is dropped, as a full transmit buffer would drop it.
    if (!out.isEmpty())
        line_.write(out);
    if (const auto wait = sim_.msUntilNextOutput())
        pumpTimer_.start(int(*wait));
    else
        pumpTimer_.stop();
}

} // namespace tavo::sim
