#pragma once

#include <QByteArray>

#include <array>

namespace tavo {

// The telnet side of a network serial port (RFC 854 framing, RFC 2217
// COM-PORT-OPTION). Pure byte work: what must go to the server collects in an
// outbox that the caller takes and writes, so the codec never calls back into
// a socket that its answers might close.
//
// The client offers COM-PORT-OPTION; when the server agrees it sends the line
// settings (speed, 8 data bits, no parity, 1 stop bit, no flow control) and a
// purge of the data the server holds from the line, and never waits for the
// settings' acknowledgements. Other options the server proposes are accepted
// when they keep the data stream 8-bit clean (BINARY, SUPPRESS-GO-AHEAD) and
// refused otherwise.
//
// Option negotiation follows RFC 1143's Q method: a request for the state an
// option is already in is not answered, so a peer cannot start a loop, and a
// peer that floods requests gets at most one answer per request.
class Rfc2217Codec {
public:
    enum class ComPort { Pending, Accepted, Refused };

    // Telnet bytes.
    static constexpr char kIac = char(255);
    static constexpr quint8 kSe = 240, kSb = 250, kWill = 251, kWont = 252, kDo = 253, kDont = 254;
    static constexpr quint8 kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
    // COM-PORT-OPTION commands, client to server; the server acknowledges command c as c + 100.
    static constexpr quint8 kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                            kSetControl = 5, kPurgeData = 12;
    static constexpr quint8 kServerAnswerOffset = 100;
    // PURGE-DATA value: the server's buffer of data received from the serial line.
    static constexpr quint8 kPurgeReceiveBuffer = 1;

    // Offers COM-PORT-OPTION; the line settings follow once the server agrees.
    void begin(int baud);
    ComPort comPort() const { return m_comPort; }
    // The server has confirmed the purge: serial data after this is new.
    bool purgeAcknowledged() const { return m_purgeAcknowledged; }

    // Outgoing data with every 0xFF doubled.
    static QByteArray escape(const QByteArray& data);
    // The serial data in `chunk`; answers to telnet commands go to the outbox.
    // A sequence split across chunks is carried over to the next call.
    QByteArray receive(const QByteArray& chunk);
    // What must be written to the server now, in order; empties the outbox.
    QByteArray takeAnswers();

    // "IAC SB COM-PORT-OPTION command value IAC SE", value escaped.
    static QByteArray comPortCommand(quint8 command, const QByteArray& value);
    static QByteArray baudValue(int baud);

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    // One side of one option (RFC 1143). This side never changes its mind while
    // its own request is pending, so the method's queue bit is never needed.
    enum class Q : quint8 { No, Yes, WantNo, WantYes };

    static bool agreesTo(quint8 option);
    void serverWill(quint8 option, bool enable);
    void serverDo(quint8 option, bool enable);
    void endSubnegotiation();
    void sendLineSettings();
    void answer(quint8 verb, quint8 option);

    int m_baud = 9600;
    bool m_settingsSent = false;
    bool m_purgeAcknowledged = false;
    ComPort m_comPort = ComPort::Pending;
    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_outbox;
    // The start of the current subnegotiation: enough to recognise an acknowledgement.
    QByteArray m_sub;
    std::array<Q, 256> m_him{}; // options the server performs
    std::array<Q, 256> m_us{};  // options this side performs
};

} // namespace tavo
