#pragma once

#include "MosquittoBroker.h"
#include "ProjectorBank.h"
#include "Ser2netServer.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// One mx7300-gateway process against a real mosquitto on loopback, its site the projectors of a
// ProjectorBank: line L is the site's port L, every `viaSer2netEvery`-th line (0: none) through
// a real ser2net, raw TCP and RFC 2217 in turn. Projectors are named pL_A (line, address).
class GatewayRig {
public:
    struct Options {
        int pollSeconds = 10;
        int viaSer2netEvery = 0;
        bool http = false;
        bool pjlink = false;
        bool brokerNoDelay = false; // the broker's listener with set_tcp_nodelay
    };

    GatewayRig(ProjectorBank& bank, int projectorsPerLine, Options options);
    ~GatewayRig();

    // Broker, ser2net daemons, then the gateway; false with the reason in `error`.
    bool start(QString* error);
    qint64 gatewayPid() const { return m_gateway.processId(); }
    quint16 brokerPort() const { return m_broker.port(); }
    quint16 httpPort() const { return m_httpPort; }
    quint16 pjlinkBasePort() const { return m_pjlinkBase; }
    static QString site() { return QStringLiteral("bench"); }
    static QString name(int line, int projector);
    QString stateTopic(int line, int projector) const;
    QString topic(int line, int projector, const QString& leaf) const;
    // The gateway's log so far (standard error).
    QByteArray log() const;

private:
    bool writeSite(QString* error);

    ProjectorBank& m_bank;
    int m_perLine;
    Options m_options;
    QTemporaryDir m_dir;
    MosquittoBroker m_broker;
    std::vector<std::unique_ptr<Ser2netServer>> m_ser2net;
    std::vector<QString> m_targets;
    QProcess m_gateway;
    quint16 m_httpPort = 0;
    quint16 m_pjlinkBase = 0;
};

// Runs the event loop for `ms` (the broker's and the gateway's pipes are read there).
void runEventsFor(int ms);
