#include "PjlinkResponder.h"

#include "Gateway.h"

#include <QPointer>

namespace tavo::gateway::pjlink {
namespace {

const QByteArray kErrUndefined = "ERR1";
const QByteArray kErrParameter = "ERR2";
const QByteArray kErrUnavailableTime = "ERR3";
const QByteArray kErrFailure = "ERR4";
const QByteArray kVideoMuteRead = "CR VMUTE";
const QByteArray kVideoMuteOn = "C0D";
const QByteArray kVideoMuteOff = "C0E";

constexpr int kMaxInfo = 32;

bool isQuery(const Request& request) {
    return isPlainParameter(request) && request.parameter == "?";
}

bool changingPower(PowerKind kind) {
    return kind == PowerKind::WarmingUp || kind == PowerKind::CoolingDown;
}

bool acknowledged(const Exchange& exchange) {
    return exchange.status == Exchange::Status::Ok && exchange.reply.contains('\x06');
}

// Printable ASCII within the standard's length, cut on a character.
QByteArray plainText(const QString& text, int maxBytes) {
    QByteArray out;
    for (const QChar c : text) {
        if (out.size() >= maxBytes)
            break;
        out.append(c.unicode() >= 0x20 && c.unicode() < 0x7f ? char(c.unicode()) : ' ');
    }
    return out;
}

} // namespace

Responder::Responder(Gateway& gateway, int index, InputMap inputs, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_index(index), m_inputs(std::move(inputs)) {
    connect(&m_gateway, &Gateway::stateChanged, this, [this](int index) {
        if (index == m_index && !m_gateway.state(index).available)
            m_videoMute.reset(); // it may have been changed at the projector meanwhile
    });
}

void Responder::handle(const Request& request, const Reply& reply) {
    const QByteArray& command = request.command;
    if (request.pjClass != '1' && request.pjClass != '2') {
        reply(request.answer(kErrUndefined));
        return;
    }
    if (command == "POWR")
        return power(request, reply);
    if (command == "INPT")
        return input(request, reply);
    if (command == "AVMT")
        return mute(request, reply);
    if (command == "INNM" && request.pjClass == '2')
        return inputName(request, reply);
    const std::optional<QByteArray> value = query(command);
    if (!value) {
        reply(request.answer(kErrUndefined));
        return;
    }
    reply(request.answer(isQuery(request) ? *value : kErrParameter));
}

// The query-only commands of both classes; nothing for a command this projector does not have
// (Class 2's SNUM, SVER, FREZ, FILT, RFIL, RLMP, IRES, RRES, SVOL, MVOL among them).
std::optional<QByteArray> Responder::query(const QByteArray& command) const {
    const ProjectorConfig& config = m_gateway.projector(m_index);
    const ProjectorState& state = m_gateway.state(m_index);
    if (command == "NAME")
        return plainText(config.name, 64);
    if (command == "INF1")
        return QByteArray("TAVO");
    if (command == "INF2")
        return QByteArray("MX7300");
    if (command == "INFO")
        return plainText(config.room, kMaxInfo);
    if (command == "CLSS")
        return QByteArray("2");
    if (command == "INST") {
        QByteArrayList codes;
        for (const InputMap::Entry& e : m_inputs.entries()) {
            if (Gateway::inputCommand(e.input))
                codes << e.code;
        }
        return codes.join(' ');
    }
    if (command == "ERST") {
        if (!state.available)
            return kErrFailure;
        const PowerKind kind = powerKind(state.power);
        const bool lampWorn = state.lampHours && *state.lampHours >= config.lampWarnHours;
        const char lamp = kind == PowerKind::LampFault ? '2' : lampWorn ? '1' : '0';
        const char temperature = kind == PowerKind::TemperatureFault ? '2' : '0';
        const char other = kind == PowerKind::PowerFault ? '2' : '0';
        // fan, lamp, temperature, cover, filter, other
        const char digits[] = {'0', lamp, temperature, '0', '0', other};
        return QByteArray(digits, sizeof digits);
    }
    if (command == "LAMP") {
        if (!state.available || !state.lampHours)
            return kErrFailure;
        const bool lit = powerKind(state.power) == PowerKind::On;
        return QByteArray::number(qBound(0, *state.lampHours, 99999)) + (lit ? " 1" : " 0");
    }
    return std::nullopt;
}

void Responder::power(const Request& request, const Reply& reply) {
    const ProjectorState& state = m_gateway.state(m_index);
    const PowerKind kind = powerKind(state.power);
    if (isQuery(request)) {
        if (!state.available)
            return reply(request.answer(kErrFailure));
        switch (kind) {
        case PowerKind::Standby:
            return reply(request.answer("0"));
        case PowerKind::On:
            return reply(request.answer("1"));
        case PowerKind::CoolingDown:
            return reply(request.answer("2"));
        case PowerKind::WarmingUp:
            return reply(request.answer("3"));
        default: // a fault, told by ERST, or words this gateway does not know
            return reply(request.answer(kErrFailure));
        }
    }
    if (!isPlainParameter(request) || (request.parameter != "0" && request.parameter != "1"))
        return reply(request.answer(kErrParameter));
    if (changingPower(kind))
        return reply(request.answer(kErrUnavailableTime));
    send(Gateway::powerCommand(request.parameter == "1"), request, reply);
}

void Responder::input(const Request& request, const Reply& reply) {
    const ProjectorState& state = m_gateway.state(m_index);
    if (isQuery(request)) {
        const int current = state.input ? InputMap::inputOfWords(*state.input) : 0;
        const std::optional<QByteArray> code = m_inputs.codeOf(current);
        return reply(request.answer(state.available && code ? *code : kErrFailure));
    }
    const int wanted =
        isPlainParameter(request) ? m_inputs.inputOf(request.parameter.toUpper()) : 0;
    const std::optional<QByteArray> command = Gateway::inputCommand(wanted);
    if (!command)
        return reply(request.answer(kErrParameter));
    if (changingPower(powerKind(state.power)))
        return reply(request.answer(kErrUnavailableTime));
    send(*command, request, reply);
}

// The projector has a video mute and no sound: 30/31 (both) act on the picture, 20/21 are out of
// range, and the query answers 11 (picture muted) or 30 (nothing muted).
void Responder::mute(const Request& request, const Reply& reply) {
    const ProjectorState& state = m_gateway.state(m_index);
    if (isQuery(request)) {
        if (!state.available)
            return reply(request.answer(kErrFailure));
        if (m_videoMute)
            return reply(request.answer(*m_videoMute ? "11" : "30"));
        QPointer<Responder> self(this);
        m_gateway.submit(m_index, kVideoMuteRead, [self, request, reply](const Exchange& e) {
            const QByteArray words = e.reply.trimmed();
            const bool known =
                e.status == Exchange::Status::Ok && (words == "ON" || words == "OFF");
            if (known && self)
                self->m_videoMute = words == "ON";
            if (e.status == Exchange::Status::Busy)
                return reply(request.answer(kErrUnavailableTime));
            reply(request.answer(!known ? kErrFailure : words == "ON" ? "11" : "30"));
        });
        return;
    }
    const QByteArray& p = request.parameter;
    const bool valid =
        isPlainParameter(request) && (p == "10" || p == "11" || p == "30" || p == "31");
    if (!valid)
        return reply(request.answer(kErrParameter));
    if (changingPower(powerKind(state.power)))
        return reply(request.answer(kErrUnavailableTime));
    const bool on = p.endsWith('1');
    QPointer<Responder> self(this);
    send(on ? kVideoMuteOn : kVideoMuteOff, request, reply, [self, on] {
        if (self)
            self->m_videoMute = on;
    });
}

// "%2INNM ?11": the projector's own name for the input.
void Responder::inputName(const Request& request, const Reply& reply) {
    const QByteArray& p = request.parameter;
    const int input =
        isPlainParameter(request) && p.startsWith('?') ? m_inputs.inputOf(p.mid(1).toUpper()) : 0;
    if (input == 0)
        return reply(request.answer(kErrParameter));
    reply(request.answer(InputMap::wordsOf(input).toLatin1()));
}

void Responder::send(const QByteArray& command, const Request& request, const Reply& reply,
                     std::function<void()> accepted) {
    m_gateway.submit(
        m_index, command, [request, reply, accepted = std::move(accepted)](const Exchange& e) {
            const bool ok = acknowledged(e);
            if (ok && accepted)
                accepted();
            // Too many commands wait: a time to try again, not a fault.
            const bool busy = e.status == Exchange::Status::Busy;
            reply(request.answer(ok ? QByteArray("OK") : busy ? kErrUnavailableTime : kErrFailure));
        });
}

} // namespace tavo::gateway::pjlink
