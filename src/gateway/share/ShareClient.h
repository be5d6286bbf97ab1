#pragma once

#include "CommandSplitter.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>

class QTcpSocket;

namespace tavo {
struct Exchange;
}

namespace tavo::gateway {
class Gateway;
}

namespace tavo::gateway::share {

// One client of a shared line: its commands go on the line in the order it wrote them, and the
// reply to each (what the projector sent, to CR or ACK; nothing at the time-out) goes back to it
// alone. At most kMaxQueued of its commands wait or are on the wire; past that its socket is not
// read until one ends, so nothing it wrote is lost and nothing runs ahead of the line. A client
// that leaves a command unfinished for `deadlineMs` is dropped.
class ShareClient : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxQueued = 8;
    static constexpr qint64 kReadBuffer = 4096;
    static constexpr qint64 kMaxUnsent = 16 * 1024;

    ShareClient(QTcpSocket* socket, Gateway& gateway, QString line, int deadlineMs,
                QObject* parent = nullptr);
    ~ShareClient() override;

    // "ADDR:PORT", "[V6]:PORT".
    QString peer() const { return m_peer; }
    void drop(const QString& why);

signals:
    // The socket is gone; the client deletes itself later.
    void closed();

private:
    void pump();
    void answered(const Exchange& exchange);
    void onDeadline();
    void finish();

    QTcpSocket* m_socket;
    Gateway& m_gateway;
    QString m_line; // the port it is on, as the site names it
    QString m_peer;
    CommandSplitter m_splitter;
    std::deque<CommandSplitter::Piece> m_split; // taken from the socket, not yet queued
    int m_queued = 0;
    bool m_pumping = false;
    bool m_closed = false;
    bool m_expired = false; // the deadline passed with the command unfinished
    QTimer m_deadline;
};

} // namespace tavo::gateway::share
