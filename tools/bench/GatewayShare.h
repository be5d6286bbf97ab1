#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PseudoTerminal;

// A real mx7300-gateway holding one pseudo-terminal and lending it on a loopback share, as a
// technician's console reaches it. It reads the projector once an hour, so between the commands
// measured the line stays idle; its first reads are answered here before any measurement.
class GatewayShare {
public:
    explicit GatewayShare(QString program);
    ~GatewayShare();
    GatewayShare(const GatewayShare&) = delete;
    GatewayShare& operator=(const GatewayShare&) = delete;

    // Starts the gateway on `projector`'s device and answers its first poll from the projector's
    // end; false with the reason in `error`.
    bool start(PseudoTerminal& projector, QString* error);
    quint16 port() const { return m_port; }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(m_port); }

private:
    QString m_program;
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_log;
    quint16 m_port = 0;
};
