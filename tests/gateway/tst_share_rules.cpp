// What a shared line takes from its clients: commands cut at CR, refused whole when they hold a
// control byte or run too long, and the networks a client may come from.
#include "CommandSplitter.h"
#include "PeerAllowList.h"

#include <QTest>

using namespace tavo::gateway::share;

class TestShareRules : public QObject {
    Q_OBJECT

private slots:
    void splitter_data();
    void splitter();
    void allowList_data();
    void allowList();
};

void TestShareRules::splitter_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    // One line per command: "COMMAND" to send, "!COMMAND: WHY" refused.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("midCommand"); // afterwards

    using Chunks = QList<QByteArray>;
    const QByteArray longest(CommandSplitter::kMaxCommand, 'X');
    QTest::newRow("two in one write, prefix kept")
        << Chunks{"A001C00\rCR0\r"} << QStringList{"A001C00", "CR0"} << false;
    QTest::newRow("split across writes")
        << Chunks{"CR", " LAMP", "STS\r"} << QStringList{"CR LAMPSTS"} << false;
    QTest::newRow("half a command waits") << Chunks{"C00\rC0"} << QStringList{"C00"} << true;
    QTest::newRow("CR LF and empty lines pass over")
        << Chunks{"\r\rC00\r", "\nCR0\r\n"} << QStringList{"C00", "CR0"} << false;
    QTest::newRow("LF inside a command")
        << Chunks{"C0\n0\rCR0\r"}
        << QStringList{"!C0\n0: the command holds LF (0x0A) at position 3", "CR0"} << false;
    QTest::newRow("NUL, DEL and C1 refuse their command only")
        << Chunks{QByteArray("C\0"
                             "00\rC\x7f\r",
                             8),
                  "A001\x85"
                  "C00\rC01\r"}
        << QStringList{QStringLiteral("!C") + QChar(0) +
                           "00: the command holds NUL (0x00) at position 2",
                       "!C\x7f: the command holds DEL (0x7F) at position 2",
                       QStringLiteral("!A001") + QChar(0x85) +
                           "C00: the command holds NEL (0x85) at position 5",
                       "C01"}
        << false;
    QTest::newRow("the longest command") << Chunks{longest + '\r'} << QStringList{longest} << false;
    QTest::newRow("one byte too long, in pieces")
        << Chunks{longest, "YZ", "\rC00\r"}
        << QStringList{"!" + longest + ": the command is longer than 128 bytes", "C00"} << false;
    QTest::newRow("an overlong command still unfinished")
        << Chunks{longest + longest} << QStringList{} << true;
}

void TestShareRules::splitter() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, expected);
    QFETCH(bool, midCommand);
    CommandSplitter splitter;
    QStringList got;
    for (const QByteArray& chunk : chunks)
        for (const CommandSplitter::Piece& piece : splitter.feed(chunk))
            got << (piece.refused.isEmpty()
                        ? QString::fromLatin1(piece.command)
                        : QStringLiteral("!%1: %2").arg(QString::fromLatin1(piece.command),
                                                        piece.refused));
    QCOMPARE(got, expected);
    QCOMPARE(splitter.midCommand(), midCommand);
}

void TestShareRules::allowList_data() {
    QTest::addColumn<QString>("allow"); // empty: the default
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("expected"); // "yes", "no" or the parse error

    QTest::newRow("default: loopback") << QString() << "127.0.0.2"
                                       << "yes";
    QTest::newRow("default: IPv6 loopback") << QString() << "::1"
                                            << "yes";
    QTest::newRow("default: a LAN host") << QString() << "192.168.1.20"
                                         << "no";
    QTest::newRow("one host only") << "127.0.0.1/32"
                                   << "127.0.0.2"
                                   << "no";
    QTest::newRow("a bare address is one host") << "127.0.0.1"
                                                << "127.0.0.1"
                                                << "yes";
    QTest::newRow("a LAN replaces loopback") << "10.1.0.0/16"
                                             << "127.0.0.1"
                                             << "no";
    QTest::newRow("a LAN host, second of two") << "127.0.0.0/8, 10.1.0.0/16"
                                               << "10.1.200.3"
                                               << "yes";
    QTest::newRow("IPv4 through a dual-stack socket") << "10.1.0.0/16"
                                                      << "::ffff:10.1.2.3"
                                                      << "yes";
    QTest::newRow("an IPv6 network") << "fd00::/8"
                                     << "fd12::5"
                                     << "yes";
    QTest::newRow("a host name") << "gateway.local"
                                 << "127.0.0.1"
                                 << "\"gateway.local\" is not an address or ADDRESS/BITS";
    QTest::newRow("bits out of range") << "10.0.0.0/33"
                                       << "127.0.0.1"
                                       << "\"10.0.0.0/33\" is not an address or ADDRESS/BITS";
    QTest::newRow("an empty item") << "127.0.0.1/32,"
                                   << "127.0.0.1"
                                   << "\"\" is not an address or ADDRESS/BITS";
}

void TestShareRules::allowList() {
    QFETCH(QString, allow);
    QFETCH(QString, peer);
    QFETCH(QString, expected);
    QString error;
    const std::optional<PeerAllowList> list =
        allow.isEmpty() ? PeerAllowList() : PeerAllowList::parse(allow, &error);
    if (!list) {
        QCOMPARE(error, expected);
        return;
    }
    QCOMPARE(list->admits(QHostAddress(peer)) ? QStringLiteral("yes") : QStringLiteral("no"),
             expected);
}

QTEST_GUILESS_MAIN(TestShareRules)
#include "tst_share_rules.moc"
