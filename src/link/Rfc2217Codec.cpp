#include "Rfc2217Codec.h"

namespace tavo {

Rfc2217Codec::Rfc2217Codec(Sender send) : m_send(std::move(send)) {}

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

void Rfc2217Codec::reply(quint8 verb, quint8 option) {
    QByteArray out;
    out += kIac;
    out += char(verb);
    out += char(option);
    m_send(out);
}

void Rfc2217Codec::begin(int baud) {
    m_baud = baud;
    m_offered = true;
    m_myOption[kComPortOption] = true;
    reply(kWill, kComPortOption);
}

void Rfc2217Codec::sendLineSettings() {
    if (m_settingsSent)
        return;
    m_settingsSent = true;
    QByteArray out = comPortCommand(kSetBaudRate, baudValue(m_baud));
    out += comPortCommand(kSetDataSize, QByteArray(1, char(8)));
    out += comPortCommand(kSetParity, QByteArray(1, char(1)));   // none
    out += comPortCommand(kSetStopSize, QByteArray(1, char(1))); // one
    out += comPortCommand(kSetControl, QByteArray(1, char(1)));  // no flow control
    m_send(out);
}

void Rfc2217Codec::negotiate(quint8 verb, quint8 option) {
    const bool wanted = option == kBinary || option == kSuppressGoAhead;
    switch (verb) {
    case kWill: // the server offers to do something itself
        if (option == kComPortOption || wanted) {
            if (!m_hisOption[option]) {
                m_hisOption[option] = true;
                reply(kDo, option);
            }
        } else if (!m_refusedHis[option]) {
            m_refusedHis[option] = true;
            reply(kDont, option);
        }
        break;
    case kDo: // the server asks us to do something
        if (option == kComPortOption) {
            if (!m_myOption[option]) { // a server that asks first
                m_myOption[option] = true;
                reply(kWill, option);
            }
            m_comPort = ComPort::Accepted;
            sendLineSettings();
        } else if (wanted) {
            if (!m_myOption[option]) {
                m_myOption[option] = true;
                reply(kWill, option);
            }
        } else if (!m_refusedMine[option]) {
            m_refusedMine[option] = true;
            reply(kWont, option);
        }
        break;
    case kWont:
        if (m_hisOption[option]) {
            m_hisOption[option] = false;
            reply(kDont, option);
        }
        break;
    case kDont:
        if (option == kComPortOption && m_comPort == ComPort::Pending && m_offered)
            m_comPort = ComPort::Refused;
        if (m_myOption[option]) {
            m_myOption[option] = false;
            reply(kWont, option);
        }
        break;
    default:
        break;
    }
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
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, GA, DM and stray bytes: nothing to do
            }
            break;
        case State::Option:
            negotiate(m_verb, byte);
            m_state = State::Data;
            break;
        // What the server says in a subnegotiation (acknowledgements of our
        // settings, line-state and modem-state notifications, flow-control
        // hints) is informational for a console that only needs the data.
        case State::Sub:
            if (c == kIac)
                m_state = State::SubIac;
            break;
        case State::SubIac:
            // IAC SE ends it; IAC IAC is a 0xFF inside it; anything else is
            // malformed and taken as part of it rather than as data.
            m_state = byte == kSe ? State::Data : State::Sub;
            break;
        }
    }
    return data;
}

} // namespace tavo
