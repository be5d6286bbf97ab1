#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real mosquitto broker for end-to-end tests: anonymous, no persistence,
// listening on one free loopback port that stays the same across restarts.
class MosquittoBroker {
public:
    MosquittoBroker();
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // The installed broker, or empty.
    static QString executable();

    // Starts the broker (again, after kill()) and waits up to five seconds
    // until it says it is running, which it does once its listener is open.
    bool start(QString* error);
    // SIGKILL: the broker vanishes without a word to its clients.
    void kill();
    // From the next start() on, the listener speaks TLS with this
    // certificate. Run as root, the broker reads them as user mosquitto.
    // With `clientCaFile`, only clients with a certificate it signed get in.
    void useTls(const QString& certFile, const QString& keyFile,
                const QString& clientCaFile = QString());

    // From the next start() on, the listener sends small packets at once (set_tcp_nodelay).
    void setTcpNoDelay(bool on) { m_tcpNoDelay = on; }

    quint16 port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_log;
    QString m_certFile;
    QString m_keyFile;
    QString m_clientCaFile;
    quint16 m_port = 0;
    bool m_tcpNoDelay = false;
};
