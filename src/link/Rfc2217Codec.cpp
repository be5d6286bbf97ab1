#include "Rfc2217Codec.h"

namespace tavo {
namespace {

// Bytes of a subnegotiation kept for recognising it: option, command, value.
constexpr int kSubKept = 3;

} // namespace

QByteArray Rfc2217Codec::escape(const QByteArray& data) {
    if (!data.contains(kIac))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (const char c : data) {
        out += c;
        if (c == kIac)
            out += kIac;
    }
    return out;
}

QByteArray Rfc2217Codec::baudValue(int baud) {
    const auto value = static_cast<quint32>(baud);
    QByteArray bytes(4, '\0');
    bytes[0] = char((value >> 24) & 0xFF);
    bytes[1] = char((value >> 16) & 0xFF);
    bytes[2] = char((value >> 8) & 0xFF);
    bytes[3] = char(value & 0xFF);
    return bytes;
}

QByteArray Rfc2217Codec::comPortCommand(quint8 command, const QByteArray& value) {
    QByteArray out;
    out += kIac;
    out += char(kSb);
    out += char(kComPortOption);
    out += char(command);
    out += escape(value);
    out += kIac;
    out += char(kSe);
    return out;
}

QByteArray Rfc2217Codec::takeAnswers() {
    QByteArray out;
    out.swap(m_outbox);
    return out;
}

void Rfc2217Codec::answer(quint8 verb, quint8 option) {
    m_outbox += kIac;
    m_outbox += char(verb);
    m_outbox += char(option);
}

void Rfc2217Codec::begin(int baud) {
    m_baud = baud;
    m_us[kComPortOption] = Q::WantYes;
    answer(kWill, kComPortOption);
}

void Rfc2217Codec::sendLineSettings() {
    if (m_settingsSent)
        return;
    m_settingsSent = true;
    m_outbox += comPortCommand(kSetBaudRate, baudValue(m_baud));
    m_outbox += comPortCommand(kSetDataSize, QByteArray(1, char(8)));
    m_outbox += comPortCommand(kSetParity, QByteArray(1, char(1)));   // none
    m_outbox += comPortCommand(kSetStopSize, QByteArray(1, char(1))); // one
    m_outbox += comPortCommand(kSetControl, QByteArray(1, char(1)));  // no flow control
    // What the server took from the line before this connection is an earlier exchange's.
    m_outbox += comPortCommand(kPurgeData, QByteArray(1, char(kPurgeReceiveBuffer)));
}

bool Rfc2217Codec::agreesTo(quint8 option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

// WILL (enable) or WONT from the server, by RFC 1143's rules for "him".
void Rfc2217Codec::serverWill(quint8 option, bool enable) {
    Q& him = m_him[option];
    if (enable && him == Q::No) {
        const bool agreed = agreesTo(option);
        him = agreed ? Q::Yes : Q::No;
        answer(agreed ? kDo : kDont, option);
    } else if (!enable && him == Q::Yes) {
        him = Q::No;
        answer(kDont, option);
    } else if (him == Q::WantNo || him == Q::WantYes) {
        him = enable && him == Q::WantYes ? Q::Yes : Q::No; // the answer to our own request
    }
    // Otherwise it asks for the state the option is in: no answer.
}

// DO (enable) or DONT from the server, by RFC 1143's rules for "us".
void Rfc2217Codec::serverDo(quint8 option, bool enable) {
    Q& us = m_us[option];
    const Q before = us;
    if (enable && us == Q::No) {
        const bool agreed = agreesTo(option);
        us = agreed ? Q::Yes : Q::No;
        answer(agreed ? kWill : kWont, option);
    } else if (!enable && us == Q::Yes) {
        us = Q::No;
        answer(kWont, option);
    } else if (us == Q::WantNo || us == Q::WantYes) {
        us = enable && us == Q::WantYes ? Q::Yes : Q::No;
    }
    if (option != kComPortOption || m_comPort != ComPort::Pending)
        return;
    if (us == Q::Yes) {
        m_comPort = ComPort::Accepted;
        sendLineSettings();
    } else if (before == Q::WantYes) {
        m_comPort = ComPort::Refused;
    }
}

void Rfc2217Codec::endSubnegotiation() {
    // Acknowledgements of the settings and the line's notifications say nothing a
    // console needs; the purge's acknowledgement marks where new data begins.
    if (m_settingsSent && m_sub.size() >= 2 && quint8(m_sub[0]) == kComPortOption &&
        quint8(m_sub[1]) == kPurgeData + kServerAnswerOffset)
        m_purgeAcknowledged = true;
    m_sub.clear();
}

QByteArray Rfc2217Codec::receive(const QByteArray& chunk) {
    QByteArray data;
    data.reserve(chunk.size());
    for (const char c : chunk) {
        const auto byte = static_cast<quint8>(c);
        switch (m_state) {
        case State::Data:
            if (c == kIac)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            if (c == kIac) {
                data += c; // an escaped 0xFF
                m_state = State::Data;
            } else if (byte >= kWill) {
                m_verb = byte;
                m_state = State::Option;
            } else if (byte == kSb) {
                m_sub.clear();
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, GA, DM and stray bytes: nothing to do
            }
            break;
        case State::Option:
            if (m_verb == kWill || m_verb == kWont)
                serverWill(byte, m_verb == kWill);
            else
                serverDo(byte, m_verb == kDo);
            m_state = State::Data;
            break;
        case State::Sub:
            if (c == kIac)
                m_state = State::SubIac;
            else if (m_sub.size() < kSubKept)
                m_sub += c;
            break;
        case State::SubIac:
            // IAC SE ends it; IAC IAC is a 0xFF inside it; anything else is
            // malformed and taken as part of it rather than as data.
            if (byte == kSe) {
                endSubnegotiation();
                m_state = State::Data;
            } else {
                if (byte == 0xFF && m_sub.size() < kSubKept)
                    m_sub += c;
                m_state = State::Sub;
            }
            break;
        }
    }
    return data;
}

} // namespace tavo
