#pragma once

#include "sim/ProjectorModel.h"

#include <QByteArray>

namespace tavo::sim {

inline constexpr char kAck = 6;
inline constexpr char kCr = 13;

// What the projector answers to a command it does not know: "?" and CR.
QByteArray unknownCommandReply();

// Turns one command (address and CR already removed) into the projector's answer, applying its
// effect to the model: ACK for execution and set commands, text ended by CR for reads.
class CommandResponder {
public:
    explicit CommandResponder(ProjectorModel& model) : model_(model) {}

    QByteArray answer(const QByteArray& command);
    QByteArray lampMode() const; // as "CR7" answers, without the CR

private:
    QByteArray execute(const QByteArray& code);
    QByteArray set(const QByteArray& stemAndArgs);
    QByteArray readStatus(char digit) const;
    QByteArray readNamed(const QByteArray& name) const;
    QByteArray lampHoursText() const;

    ProjectorModel& model_;
};

} // namespace tavo::sim
