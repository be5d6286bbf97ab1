#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real ser2net daemon in front of a serial device (a pseudo-terminal's
// slave), for end-to-end tests and benchmarks: one raw TCP and one RFC 2217
// accepter on free loopback ports, its YAML written to a temporary directory.
class Ser2netServer {
public:
    // `lineSettings` is what ser2net itself sets on the device ("38400n81"),
    // so a speed seen there afterwards was set through RFC 2217. `charDelay`
    // keeps ser2net's default of holding device data for about two character
    // times before sending it on; off, each chunk goes out as it comes.
    explicit Ser2netServer(QString device, QString lineSettings = QStringLiteral("38400n81"),
                           bool charDelay = true);
    ~Ser2netServer();
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    // The installed daemon, or empty.
    static QString executable();

    // Starts the daemon (again, on the same ports after a kill) and waits up
    // to five seconds until both accepters listen.
    bool start(QString* error);
    // SIGKILL: the daemon vanishes without a word to its clients.
    void kill();

    QString rawUrl() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(m_rawPort); }
    QString rfc2217Url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfcPort); }

private:
    QString m_device;
    QString m_lineSettings;
    bool m_charDelay = true;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_rawPort = 0;
    quint16 m_rfcPort = 0;
};
