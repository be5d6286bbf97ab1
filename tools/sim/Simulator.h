#pragma once

#include "sim/Clock.h"
#include "sim/CommandResponder.h"
#include "sim/LineFaults.h"
#include "sim/LineFramer.h"
#include "sim/OutputQueue.h"
#include "sim/ProjectorModel.h"

#include <QRandomGenerator>
#include <QString>

#include <functional>
#include <optional>

namespace tavo::sim {

struct SimSettings {
    QByteArray address = "001"; // three digits, as after "A" in a prefix
    int lineBaud = 9600;
    Timing timing;
    quint32 seed = 7300; // random bytes are reproducible from run to run
};

// The whole simulated projector without any I/O: bytes in (with the speed the console set on
// its end), bytes out when they are due. The host feeds it and pumps its output.
class Simulator {
public:
    using Log = std::function<void(const QString&)>;

    Simulator(const Clock& clock, const SimSettings& settings);

    // consoleBaud is the speed the console's end of the line is set to; 0 when unknown.
    void receive(const QByteArray& bytes, int consoleBaud);
    QByteArray takeOutput();
    // Milliseconds until takeOutput() has something (0 = now); nothing when all is quiet.
    std::optional<qint64> msUntilNextOutput() const;

    void startNoise(double seconds);
    bool noiseActive() const { return noise_.active(clock_.nowMs()); }
    int lineBaud() const { return lineBaud_; }
    void setLineBaud(int baud) { lineBaud_ = baud; }

    ProjectorModel& model() { return model_; }
    const ProjectorModel& model() const { return model_; }
    LineFaults& faults() { return faults_; }
    const LineFaults& faults() const { return faults_; }

    QString statusReport() const;
    void setLog(Log log) { log_ = std::move(log); }

private:
    void answerLine(const QByteArray& line);
    void answerAtWrongSpeed(int receivedBytes, int consoleBaud);
    void log(const QString& text) const;

    const Clock& clock_;
    QByteArray address_;
    int lineBaud_;
    QRandomGenerator rng_;
    ProjectorModel model_;
    CommandResponder responder_;
    LineFramer framer_;
    LineFaults faults_;
    OutputQueue queue_;
    NoiseSource noise_;
    Log log_;
};

// Control bytes made readable for the traffic log: CR as <CR>, ACK as <ACK>, others as <hex>.
QString visibleBytes(const QByteArray& bytes);

} // namespace tavo::sim
