#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavo {

// What a running gateway lends: its site and, for each line it holds, the TCP port that line is
// shared on. The gateway keeps one file per site in its runtime directory while it runs, so that
// mx7300-ctl on the same host goes through the gateway instead of failing on a busy port.
struct GatewayShares {
    struct Line {
        QString device; // as the site file names it
        quint16 port = 0;
    };
    QString site;
    qint64 pid = 0;
    QString address; // where the shares listen; a client on this host connects there
    QList<Line> lines;

    // "tcp://ADDR:PORT" for `device` (a path is compared by the file it names), if shared.
    std::optional<QString> shareOf(const QString& device) const;
    // "tcp://ADDR:PORT" that reaches `line` from this host (a share on every address: loopback).
    QString urlOf(const Line& line) const;
};

// The gateway's directory: $RUNTIME_DIRECTORY (systemd's RuntimeDirectory=), else
// $XDG_RUNTIME_DIR/tavo, else /run/tavo.
QString gatewayRuntimeDirectory();
// Every directory a gateway of this host may use, the one above first.
QStringList gatewayRuntimeDirectories();

// "DIR/SITE.shares", written whole and atomically, readable by the owner and its group (0640):
// the group that may use the serial ports may use the shares. False with `error`.
bool writeGatewayShares(const QString& directory, const GatewayShares& shares, QString* error);
QString gatewaySharesPath(const QString& directory, const QString& site);

// The shares of every gateway still running (its process alive) found in `directories`. Anything
// else is passed over without waiting: a file that does not read, is not a regular file or is
// larger than a gateway writes, one without a plain site name, a pid and an address; a line
// entry without a port or with a control byte in its device.
QList<GatewayShares> runningGatewayShares(const QStringList& directories);

} // namespace tavo
