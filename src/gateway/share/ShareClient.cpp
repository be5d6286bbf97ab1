#include "ShareClient.h"

#include "Gateway.h"
#include "PeerText.h"

#include <QPointer>
#include <QTcpSocket>

namespace tavo::gateway::share {
namespace {

const QString kFront = QStringLiteral("share");

} // namespace

ShareClient::ShareClient(QTcpSocket* socket, Gateway& gateway, QString line, int deadlineMs,
                         QObject* parent)
    : QObject(parent), m_socket(socket), m_gateway(gateway), m_line(std::move(line)),
      m_peer(peerText(*socket)) {
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBuffer);
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(deadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, &ShareClient::onDeadline);
    connect(m_socket, &QTcpSocket::readyRead, this, &ShareClient::pump);
    connect(m_socket, &QTcpSocket::disconnected, this, &ShareClient::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ShareClient::finish);
    pump();
}

ShareClient::~ShareClient() = default;

void ShareClient::drop(const QString& why) {
    if (m_closed)
        return;
    m_gateway.audit().refused({kFront, m_peer, {}}, {}, {}, why);
    m_socket->abort();
    finish();
}

void ShareClient::finish() {
    if (m_closed)
        return;
    m_closed = true;
    m_deadline.stop();
    emit closed();
    deleteLater();
}

// Reads while there is room on the line for this client, and queues what it read in order.
void ShareClient::pump() {
    if (m_pumping || m_closed)
        return;
    m_pumping = true;
    while (!m_closed && m_queued < kMaxQueued) {
        if (m_split.empty()) {
            if (m_socket->bytesAvailable() <= 0)
                break;
            const QList<CommandSplitter::Piece> pieces =
                m_splitter.feed(m_socket->read(kReadBuffer));
            m_split.insert(m_split.end(), pieces.begin(), pieces.end());
            if (!pieces.isEmpty()) // the deadline is each command's own
                m_deadline.stop();
            continue;
        }
        const CommandSplitter::Piece piece = m_split.front();
        m_split.pop_front();
        const AuditOrigin origin{kFront, m_peer, piece.command};
        if (!piece.refused.isEmpty()) {
            // The payload field shows the bytes escaped; the command field gets none of them.
            m_gateway.audit().refused(origin, {}, {},
                                      piece.refused + QStringLiteral("; nothing was sent"));
            continue;
        }
        ++m_queued;
        // The reply may come after this client has gone; it then goes nowhere.
        QPointer<ShareClient> self(this);
        m_gateway.sendOnLine(origin, m_line, piece.command, [self](const Exchange& exchange) {
            if (self)
                self->answered(exchange);
        });
    }
    m_pumping = false;
    if (m_closed)
        return;
    // The deadline runs while a command is unfinished and this client's bytes are being read.
    const bool reading = m_queued < kMaxQueued && m_split.empty();
    if (!m_splitter.midCommand() || !reading) {
        m_deadline.stop();
        m_expired = false;
    } else if (m_expired) {
        drop(QStringLiteral("dropped: a command left unfinished for %1 ms")
                 .arg(m_deadline.interval()));
    } else if (!m_deadline.isActive()) {
        m_deadline.start();
    }
}

void ShareClient::answered(const Exchange& exchange) {
    --m_queued;
    if (m_closed)
        return;
    if (!exchange.reply.isEmpty()) {
        if (m_socket->bytesToWrite() + exchange.reply.size() > kMaxUnsent) {
            drop(QStringLiteral("dropped: the client does not read its replies"));
            return;
        }
        m_socket->write(exchange.reply);
    }
    pump();
}

// What arrived since is read first: a CR that came at the last moment saves the client.
void ShareClient::onDeadline() {
    m_expired = true;
    pump();
}

} // namespace tavo::gateway::share
