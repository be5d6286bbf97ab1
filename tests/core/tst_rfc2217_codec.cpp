#include "link/Rfc2217Codec.h"

#include <QTest>

using namespace tavo;

namespace {

// The socket as the codec sees it: what it sends piles up here.
struct FakeSocket {
    QByteArray sent;
    Rfc2217Codec codec{[this](const QByteArray& bytes) { sent += bytes; }};
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values)
        out += char(v);
    return out;
}

const int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
const int COM = 44, ECHO = 1, BINARY = 0;

QByteArray lineSettings(std::initializer_list<int> baud) {
    QByteArray out = bytes({IAC, SB, COM, 1});
    out += bytes(baud);
    out += bytes({IAC, SE});
    out += bytes({IAC, SB, COM, 2, 8, IAC, SE});
    out += bytes({IAC, SB, COM, 3, 1, IAC, SE});
    out += bytes({IAC, SB, COM, 4, 1, IAC, SE});
    out += bytes({IAC, SB, COM, 5, 1, IAC, SE});
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Rfc2217Codec::ComPort)

class TestRfc2217Codec : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void outgoingDataIsEscaped_data();
    void outgoingDataIsEscaped();
    void lineSettingsFollowTheServersConsent_data();
    void lineSettingsFollowTheServersConsent();
    void serverStreamIsSplitIntoDataAndAnswers_data();
    void serverStreamIsSplitIntoDataAndAnswers();
};

void TestRfc2217Codec::outgoingDataIsEscaped_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("plain command") << QByteArray("CR0\r") << QByteArray("CR0\r");
    QTest::newRow("one 0xFF") << bytes({'A', 255, 'B'}) << bytes({'A', 255, 255, 'B'});
    QTest::newRow("two 0xFF in a row") << bytes({255, 255}) << bytes({255, 255, 255, 255});
    QTest::newRow("0xFF last") << bytes({'x', 255}) << bytes({'x', 255, 255});
    QTest::newRow("other high bytes untouched") << bytes({254, 250, 240}) << bytes({254, 250, 240});
}

void TestRfc2217Codec::outgoingDataIsEscaped() {
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, wire);
    QCOMPARE(Rfc2217Codec::escape(data), wire);
    // and the server's decoding of it gives the data back
    FakeSocket socket;
    QCOMPARE(socket.codec.receive(wire), data);
}

void TestRfc2217Codec::lineSettingsFollowTheServersConsent_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("9600") << 9600 << lineSettings({0, 0, 0x25, 0x80});
    QTest::newRow("19200") << 19200 << lineSettings({0, 0, 0x4B, 0x00});
    // 65535 has 0xFF bytes in its value: they are doubled inside the subnegotiation.
    QTest::newRow("0xFF in the value") << 65535 << lineSettings({0, 0, 255, 255, 255, 255});
}

void TestRfc2217Codec::lineSettingsFollowTheServersConsent() {
    QFETCH(int, baud);
    QFETCH(QByteArray, settings);
    FakeSocket socket;
    socket.codec.begin(baud);
    QCOMPARE(socket.sent, bytes({IAC, WILL, COM}));
    QCOMPARE(socket.codec.comPort(), Rfc2217Codec::ComPort::Pending);
    socket.sent.clear();

    QCOMPARE(socket.codec.receive(bytes({IAC, DO, COM})), QByteArray());
    QCOMPARE(socket.codec.comPort(), Rfc2217Codec::ComPort::Accepted);
    QCOMPARE(socket.sent, settings);

    // A server that repeats itself does not get the settings twice.
    socket.sent.clear();
    socket.codec.receive(bytes({IAC, DO, COM}));
    QCOMPARE(socket.sent, QByteArray());
}

void TestRfc2217Codec::serverStreamIsSplitIntoDataAndAnswers_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<Rfc2217Codec::ComPort>("comPort");
    const auto pending = Rfc2217Codec::ComPort::Pending;
    const auto accepted = Rfc2217Codec::ComPort::Accepted;

    QTest::newRow("plain reply") << QList<QByteArray>{"00\r"} << QByteArray("00\r") << QByteArray()
                                 << pending;
    QTest::newRow("escaped 0xFF") << QList<QByteArray>{bytes({'a', IAC, IAC, 'b'})}
                                  << bytes({'a', 255, 'b'}) << QByteArray() << pending;
    QTest::newRow("escaped 0xFF split between reads")
        << QList<QByteArray>{bytes({'a', IAC}), bytes({IAC, 'b'})} << bytes({'a', 255, 'b'})
        << QByteArray() << pending;
    QTest::newRow("consent split inside its IAC sequence, reply around it")
        << QList<QByteArray>{"0", bytes({IAC}), bytes({DO}), bytes({COM, '0', '\r'})}
        << QByteArray("00\r") << lineSettings({0, 0, 0x25, 0x80}) << accepted;
    QTest::newRow("acknowledgement and notifications dropped, split anywhere")
        << QList<QByteArray>{bytes({'0', IAC, SB, COM, 101, 0}), bytes({0, 0x25, 0x80, IAC}),
                             bytes({SE, IAC, SB, COM, 106, 0x60, IAC, SE, IAC, SB}),
                             bytes({COM, 107, IAC, IAC, 'q', IAC, SE, '0', '\r'})}
        << QByteArray("00\r") << QByteArray() << pending;
    QTest::newRow("echo refused once, however often offered")
        << QList<QByteArray>{bytes({IAC, WILL, ECHO, 'x', IAC, WILL, ECHO})} << QByteArray("x")
        << bytes({IAC, DONT, ECHO}) << pending;
    QTest::newRow("unknown request refused once")
        << QList<QByteArray>{bytes({IAC, DO, 24, IAC, DO, 24})} << QByteArray()
        << bytes({IAC, WONT, 24}) << pending;
    QTest::newRow("binary accepted both ways")
        << QList<QByteArray>{bytes({IAC, WILL, BINARY, IAC, DO, BINARY})} << QByteArray()
        << bytes({IAC, DO, BINARY, IAC, WILL, BINARY}) << pending;
    QTest::newRow("server offering the option first is agreed to")
        << QList<QByteArray>{bytes({IAC, WILL, COM})} << QByteArray() << bytes({IAC, DO, COM})
        << pending;
    QTest::newRow("refusal of the option")
        << QList<QByteArray>{bytes({IAC, DONT, COM, 'z'})} << QByteArray("z")
        << bytes({IAC, WONT, COM}) << Rfc2217Codec::ComPort::Refused;
    QTest::newRow("garbage commands and stray IACs vanish, data survives")
        << QList<QByteArray>{bytes({IAC, 1, 'a', IAC, 241, 'b', IAC, 249, IAC, 0, 'c'})}
        << QByteArray("abc") << QByteArray() << pending;
}

void TestRfc2217Codec::serverStreamIsSplitIntoDataAndAnswers() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, answers);
    QFETCH(Rfc2217Codec::ComPort, comPort);
    FakeSocket socket;
    socket.codec.begin(9600);
    socket.sent.clear();
    QByteArray received;
    for (const QByteArray& chunk : chunks)
        received += socket.codec.receive(chunk);
    QCOMPARE(received, data);
    QCOMPARE(socket.sent, answers);
    QCOMPARE(socket.codec.comPort(), comPort);
}

QTEST_APPLESS_MAIN(TestRfc2217Codec)
#include "tst_rfc2217_codec.moc"
