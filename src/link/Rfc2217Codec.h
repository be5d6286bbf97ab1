#pragma once

#include <QByteArray>

#include <array>
#include <functional>

namespace tavo {

// The telnet side of a network serial port (RFC 854 framing, RFC 2217
// COM-PORT-OPTION). Pure byte work: whatever must go to the server is handed
// to `send`, so it runs the same over a real socket and over a byte array.
//
// The client offers COM-PORT-OPTION; when the server agrees it sends the line
// settings (speed, 8 data bits, no parity, 1 stop bit, no flow control) and
// never waits for their acknowledgements. Other options the server proposes
// are accepted when they keep the data stream 8-bit clean (BINARY,
// SUPPRESS-GO-AHEAD) and refused otherwise. The server's notifications and
// acknowledgements are read and dropped.
class Rfc2217Codec {
public:
    using Sender = std::function<void(const QByteArray&)>;

    enum class ComPort { Pending, Accepted, Refused };

    // Telnet bytes.
    static constexpr char kIac = char(255);
    static constexpr quint8 kSe = 240, kSb = 250, kWill = 251, kWont = 252, kDo = 253, kDont = 254;
    static constexpr quint8 kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
    // COM-PORT-OPTION commands, client to server.
    static constexpr quint8 kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                            kSetControl = 5;

    explicit Rfc2217Codec(Sender send);

    // Offers COM-PORT-OPTION; the line settings follow once the server agrees.
    void begin(int baud);
    ComPort comPort() const { return m_comPort; }

    // Outgoing data with every 0xFF doubled.
    static QByteArray escape(const QByteArray& data);
    // The serial data in `chunk`; telnet commands are answered through `send`.
    // A sequence split across chunks is carried over to the next call.
    QByteArray receive(const QByteArray& chunk);

    // "IAC SB COM-PORT-OPTION command value IAC SE", value escaped.
    static QByteArray comPortCommand(quint8 command, const QByteArray& value);
    static QByteArray baudValue(int baud);

private:
    enum class State { Data, Iac, Option, Sub, SubIac };

    void negotiate(quint8 verb, quint8 option);
    void sendLineSettings();
    void reply(quint8 verb, quint8 option);

    Sender m_send;
    int m_baud = 9600;
    bool m_offered = false;
    bool m_settingsSent = false;
    ComPort m_comPort = ComPort::Pending;
    State m_state = State::Data;
    quint8 m_verb = 0;
    // What each side has agreed to, so a repeated request is not answered
    // again (no negotiation loops with a confused server).
    std::array<bool, 256> m_hisOption{};
    std::array<bool, 256> m_myOption{};
    std::array<bool, 256> m_refusedHis{};
    std::array<bool, 256> m_refusedMine{};
};

} // namespace tavo
