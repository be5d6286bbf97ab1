#pragma once

#include "sim/ControlCommands.h"
#include "sim/Simulator.h"

// Time that moves only when a test says so.
class FakeClock : public tavo::sim::Clock {
public:
    qint64 nowMs() const override { return now; }
    void advance(qint64 ms) { now += ms; }

    qint64 now = 5000;
};

// A simulator on a fake clock, with the line at 9600 baud on both ends unless a test says not.
struct SimRig {
    explicit SimRig(const tavo::sim::SimSettings& settings = {}) : sim(clock, settings) {}

    // Sends one command with its CR; returns what goes out at once.
    QByteArray send(const QByteArray& command, int consoleBaud = 9600) {
        sim.receive(command + '\r', consoleBaud);
        return sim.takeOutput();
    }
    // Lets time pass; returns what went out meanwhile.
    QByteArray advance(qint64 ms) {
        clock.advance(ms);
        return sim.takeOutput();
    }
    QString control(const QString& line) { return tavo::sim::runControlCommand(sim, line).text; }

    FakeClock clock;
    tavo::sim::Simulator sim;
};

inline const QByteArray kAckReply(1, '\x06');
