#pragma once

#include "PseudoTerminal.h"
#include "sim/Simulator.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

namespace tavo::sim {

// Event-loop glue: feeds the simulator what arrives on the pseudo-terminal, writes its output
// when due, and runs the control lines typed on standard input.
class SimHost : public QObject {
    Q_OBJECT
public:
    SimHost(Simulator& sim, PseudoTerminal& line, bool exitOnEof, QObject* parent = nullptr);

signals:
    void quitRequested();

private:
    void readLine();
    void readControlInput();
    void runControlLines();
    void pump();

    Simulator& sim_;
    PseudoTerminal& line_;
    bool exitOnEof_;
    QSocketNotifier lineNotifier_;
    std::unique_ptr<QSocketNotifier> stdinNotifier_;
    QByteArray stdinPending_;
    QTimer pumpTimer_;
};

// Writes one line to standard output at once, so a reader waiting for it is not kept waiting.
void printLine(const QString& text);

} // namespace tavo::sim
