#include "Rfc2217Codec.h"

#include <QTest>

using namespace tavo;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values)
        out += char(v);
    return out;
}

const int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
const int COM = 44, ECHO = 1, BINARY = 0, SGA = 3;

// The settings and the purge of the server's buffer from the line, as sent on consent.
QByteArray lineSettings(std::initializer_list<int> baud) {
    QByteArray out = bytes({IAC, SB, COM, 1});
    out += bytes(baud);
    out += bytes({IAC, SE});
    out += bytes({IAC, SB, COM, 2, 8, IAC, SE});
    out += bytes({IAC, SB, COM, 3, 1, IAC, SE});
    out += bytes({IAC, SB, COM, 4, 1, IAC, SE});
    out += bytes({IAC, SB, COM, 5, 1, IAC, SE});
    out += bytes({IAC, SB, COM, 12, 1, IAC, SE});
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
    Rfc2217Codec server;
    QCOMPARE(server.receive(wire), data);
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
    Rfc2217Codec codec;
    codec.begin(baud);
    QCOMPARE(codec.takeAnswers(), bytes({IAC, WILL, COM}));
    QCOMPARE(codec.comPort(), Rfc2217Codec::ComPort::Pending);

    QCOMPARE(codec.receive(bytes({IAC, DO, COM})), QByteArray());
    QCOMPARE(codec.comPort(), Rfc2217Codec::ComPort::Accepted);
    QCOMPARE(codec.takeAnswers(), settings);

    // A server that repeats itself does not get the settings twice.
    codec.receive(bytes({IAC, DO, COM}));
    QCOMPARE(codec.takeAnswers(), QByteArray());
}

void TestRfc2217Codec::serverStreamIsSplitIntoDataAndAnswers_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<Rfc2217Codec::ComPort>("comPort");
    QTest::addColumn<bool>("purged");
    const auto pending = Rfc2217Codec::ComPort::Pending;
    const auto accepted = Rfc2217Codec::ComPort::Accepted;
    const QByteArray settings = lineSettings({0, 0, 0x25, 0x80});
    const QByteArray purgeAck = bytes({IAC, SB, COM, 112, 1, IAC, SE});

    QTest::newRow("plain reply") << QList<QByteArray>{"00\r"} << QByteArray("00\r") << QByteArray()
                                 << pending << false;
    QTest::newRow("escaped 0xFF") << QList<QByteArray>{bytes({'a', IAC, IAC, 'b'})}
                                  << bytes({'a', 255, 'b'}) << QByteArray() << pending << false;
    QTest::newRow("escaped 0xFF split between reads")
        << QList<QByteArray>{bytes({'a', IAC}), bytes({IAC, 'b'})} << bytes({'a', 255, 'b'})
        << QByteArray() << pending << false;
    QTest::newRow("consent split inside its IAC sequence, reply around it")
        << QList<QByteArray>{"0", bytes({IAC}), bytes({DO}), bytes({COM, '0', '\r'})}
        << QByteArray("00\r") << settings << accepted << false;
    QTest::newRow("acknowledgement and notifications dropped, split anywhere")
        << QList<QByteArray>{bytes({'0', IAC, SB, COM, 101, 0}), bytes({0, 0x25, 0x80, IAC}),
                             bytes({SE, IAC, SB, COM, 106, 0x60, IAC, SE, IAC, SB}),
                             bytes({COM, 107, IAC, IAC, 'q', IAC, SE, '0', '\r'})}
        << QByteArray("00\r") << QByteArray() << pending << false;
    QTest::newRow("purge acknowledged after consent, split inside it")
        << QList<QByteArray>{bytes({IAC, DO, COM, 'x', IAC, SB, COM}), bytes({112, 1, IAC}),
                             bytes({SE, 'y'})}
        << QByteArray("xy") << settings << accepted << true;
    QTest::newRow("a purge acknowledgement before any purge was sent")
        << QList<QByteArray>{purgeAck + bytes({IAC, DO, COM})} << QByteArray() << settings
        << accepted << false;
    QTest::newRow("garbage commands and stray IACs vanish, data survives")
        << QList<QByteArray>{bytes({IAC, 1, 'a', IAC, 241, 'b', IAC, 249, IAC, 0, 'c'})}
        << QByteArray("abc") << QByteArray() << pending << false;

    // Option requests: answered when they change the option's state, silent when
    // they ask for the state it is in (RFC 1143), refused every time they are made.
    QTest::newRow("binary accepted both ways")
        << QList<QByteArray>{bytes({IAC, WILL, BINARY, IAC, DO, BINARY})} << QByteArray()
        << bytes({IAC, DO, BINARY, IAC, WILL, BINARY}) << pending << false;
    QTest::newRow("DO then DONT: both change the state, both answered")
        << QList<QByteArray>{bytes({IAC, DO, BINARY, IAC, DONT, BINARY})} << QByteArray()
        << bytes({IAC, WILL, BINARY, IAC, WONT, BINARY}) << pending << false;
    QTest::newRow("DO again while on: not answered")
        << QList<QByteArray>{bytes({IAC, DO, SGA, IAC, DO, SGA})} << QByteArray()
        << bytes({IAC, WILL, SGA}) << pending << false;
    QTest::newRow("DONT and WONT while off: not answered")
        << QList<QByteArray>{bytes({IAC, DONT, BINARY, IAC, WONT, SGA, IAC, DONT, ECHO})}
        << QByteArray() << QByteArray() << pending << false;
    QTest::newRow("WILL, WONT, WONT: the last asks for the state in force")
        << QList<QByteArray>{bytes({IAC, WILL, SGA, IAC, WONT, SGA, IAC, WONT, SGA})}
        << QByteArray() << bytes({IAC, DO, SGA, IAC, DONT, SGA}) << pending << false;
    QByteArray flood;
    QByteArray floodAnswers;
    for (int i = 0; i < 50; ++i) {
        flood += bytes({IAC, DO, BINARY, IAC, DONT, BINARY, IAC, DO, BINARY});
        floodAnswers += bytes({IAC, WILL, BINARY, IAC, WONT, BINARY, IAC, WILL, BINARY});
        flood += bytes({IAC, DONT, BINARY});
        floodAnswers += bytes({IAC, WONT, BINARY});
    }
    QTest::newRow("a DO/DONT flood: never more than one answer per request")
        << QList<QByteArray>{flood} << QByteArray() << floodAnswers << pending << false;
    QTest::newRow("echo refused each time it is offered")
        << QList<QByteArray>{bytes({IAC, WILL, ECHO, 'x', IAC, WILL, ECHO})} << QByteArray("x")
        << bytes({IAC, DONT, ECHO, IAC, DONT, ECHO}) << pending << false;
    QTest::newRow("unknown request refused each time it is made")
        << QList<QByteArray>{bytes({IAC, DO, 24, IAC, DO, 24})} << QByteArray()
        << bytes({IAC, WONT, 24, IAC, WONT, 24}) << pending << false;
    QTest::newRow("server offering the option first is agreed to")
        << QList<QByteArray>{bytes({IAC, WILL, COM})} << QByteArray() << bytes({IAC, DO, COM})
        << pending << false;
    QTest::newRow("refusal of the offer: already off here, not answered")
        << QList<QByteArray>{bytes({IAC, DONT, COM, 'z'})} << QByteArray("z") << QByteArray()
        << Rfc2217Codec::ComPort::Refused << false;
    QTest::newRow("consent, then withdrawn: answered once")
        << QList<QByteArray>{bytes({IAC, DO, COM, IAC, DONT, COM, IAC, DONT, COM})} << QByteArray()
        << settings + bytes({IAC, WONT, COM}) << accepted << false;
}

void TestRfc2217Codec::serverStreamIsSplitIntoDataAndAnswers() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, answers);
    QFETCH(Rfc2217Codec::ComPort, comPort);
    QFETCH(bool, purged);
    Rfc2217Codec codec;
    codec.begin(9600);
    codec.takeAnswers();
    QByteArray received;
    QByteArray sent;
    for (const QByteArray& chunk : chunks) {
        received += codec.receive(chunk);
        sent += codec.takeAnswers();
    }
    QCOMPARE(received, data);
    QCOMPARE(sent, answers);
    QCOMPARE(codec.comPort(), comPort);
    QCOMPARE(codec.purgeAcknowledged(), purged);
}

QTEST_APPLESS_MAIN(TestRfc2217Codec)
#include "tst_rfc2217_codec.moc"
