#include "HttpConnection.h"

#include "HttpAudit.h"
#include "PeerText.h"
#include "RequestChecks.h"

#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace tavo::gateway {
namespace {

// Where the first empty line ends, or -1; `headEnd` is where the head before it ends.
qsizetype endOfHead(const QByteArray& bytes, qsizetype* headEnd) {
    for (qsizetype at = bytes.indexOf('\n'); at >= 0; at = bytes.indexOf('\n', at + 1)) {
        if (bytes.mid(at + 1, 1) == "\n") {
            *headEnd = at;
            return at + 2;
        }
        if (bytes.mid(at + 1, 2) == "\r\n") {
            *headEnd = at > 0 && bytes[at - 1] == '\r' ? at - 1 : at;
            return at + 3;
        }
    }
    return -1;
}

// The Content-Length of an answer's head; the server's answers all carry one.
qint64 answerLength(const QByteArray& head) {
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            return line.mid(15).trimmed().toLongLong();
    }
    return 0;
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket* client, Limits limits, QObject* serverSideParent,
                               QObject* parent)
    : QObject(parent), m_client(client), m_limits(limits) {
    m_client->setParent(this);
    m_since.start();

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    m_ourSide = new QTcpSocket(this);
    auto* serverSide = new QTcpSocket(serverSideParent);
    if (!m_ourSide->setSocketDescriptor(pair[0])) {
        ::close(pair[0]);
        ::close(pair[1]);
        delete serverSide;
        return;
    }
    if (!serverSide->setSocketDescriptor(pair[1])) {
        ::close(pair[1]);
        delete serverSide;
        return;
    }
    m_serverSide = serverSide;
    // The server sees only the pair: who the client is, for the audit log (HttpAudit).
    m_serverSide->setProperty(kPeerProperty, peerText(*m_client));

    // Bytes of the next request wait here when an answer is slow; the socket holds no more.
    m_client->setReadBufferSize(m_limits.requestLimit + 1);
    for (QTimer* timer : {&m_idle, &m_deadline}) {
        timer->setTimerType(Qt::PreciseTimer);
        timer->setSingleShot(true);
    }
    m_idle.setInterval(m_limits.idleMs);
    m_deadline.setInterval(m_limits.requestMs);
    connect(&m_idle, &QTimer::timeout, this, &HttpConnection::drop);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        refuse(408, "Request Timeout",
               "the request did not come whole within " +
                   QByteArray::number(m_limits.requestMs / 1000.0) + " s\n");
    });
    connect(m_client, &QTcpSocket::readyRead, this, &HttpConnection::onClientData);
    connect(m_client, &QTcpSocket::bytesWritten, this, [this] {
        m_idle.start();
        process(); // a request held back while answers piled up
    });
    connect(m_client, &QTcpSocket::disconnected, this, [this] {
        m_phase = Phase::Closing;
        m_ourSide->abort(); // the server learns the client is gone
        deleteLater();
    });
    connect(m_ourSide, &QTcpSocket::readyRead, this, &HttpConnection::onServerData);
    connect(m_ourSide, &QTcpSocket::disconnected, this, [this] {
        m_phase = Phase::Closing;
        m_client->disconnectFromHost(); // what was written still goes out
    });
    m_idle.start();
}

HttpConnection::~HttpConnection() = default;

void HttpConnection::drop() {
    m_phase = Phase::Closing;
    m_client->abort();
}

void HttpConnection::onClientData() {
    m_idle.start();
    if (m_phase == Phase::Closing) {
        m_client->readAll();
        return;
    }
    // Waiting for an answer, with a whole request's worth held already: the rest stays in the
    // socket, which then stops reading, until the answer has gone.
    if (m_phase == Phase::Answer && m_in.size() > m_limits.requestLimit)
        return;
    m_in += m_client->readAll();
    process();
}

void HttpConnection::process() {
    if (m_phase == Phase::Head) {
        if (m_client->bytesToWrite() > kMaxUnsent)
            return;         // a client that sends requests and takes no answers
        qsizetype skip = 0; // empty lines before a request are allowed
        while (skip < m_in.size() && (m_in[skip] == '\r' || m_in[skip] == '\n'))
            ++skip;
        m_in.remove(0, skip);
        if (m_in.isEmpty())
            return;
        if (!m_deadline.isActive())
            m_deadline.start();
        qsizetype headEnd = 0;
        const qsizetype bodyStart = endOfHead(m_in, &headEnd);
        if (bodyStart < 0 || bodyStart > m_limits.requestLimit) {
            if (m_in.size() > m_limits.requestLimit || bodyStart > m_limits.requestLimit)
                refuse(413, "Payload Too Large", "the request is too long\n");
            return;
        }
        const RequestHead head = readRequestHead(m_in.left(headEnd));
        if (head.refusal) {
            const QByteArray reason = head.refusal == 411   ? "Length Required"
                                      : head.refusal == 501 ? "Not Implemented"
                                                            : "Bad Request";
            refuse(head.refusal, reason, head.error.toUtf8() + '\n');
            return;
        }
        if (bodyStart + head.bodyLength > m_limits.requestLimit) {
            refuse(413, "Payload Too Large", "the request is too long\n");
            return;
        }
        m_headOnly = head.head;
        m_closeAfter = head.closeAfter;
        m_bodyLeft = head.bodyLength;
        m_ourSide->write(head.forServer);
        m_in.remove(0, bodyStart);
        m_phase = Phase::Body;
    }
    if (m_phase == Phase::Body) {
        const qint64 take = std::min<qint64>(m_bodyLeft, m_in.size());
        m_ourSide->write(m_in.left(take));
        m_in.remove(0, take);
        m_bodyLeft -= take;
        if (m_bodyLeft > 0)
            return;
        m_deadline.stop();
        m_phase = Phase::Answer;
    }
}

void HttpConnection::onServerData() {
    QByteArray bytes = m_ourSide->readAll();
    while (!bytes.isEmpty() && m_phase != Phase::Closing) {
        if (!m_inAnswerBody) {
            m_answerHead += bytes;
            bytes.clear();
            qsizetype headEnd = 0;
            const qsizetype bodyStart = endOfHead(m_answerHead, &headEnd);
            if (bodyStart < 0)
                return;
            m_client->write(m_answerHead.left(bodyStart));
            m_answerBodyLeft = answerLength(m_answerHead.left(headEnd));
            bytes = m_answerHead.mid(bodyStart);
            m_answerHead.clear();
            m_inAnswerBody = true;
        }
        const qint64 take = std::min<qint64>(m_answerBodyLeft, bytes.size());
        if (!m_headOnly)
            m_client->write(bytes.left(take));
        bytes.remove(0, take);
        m_answerBodyLeft -= take;
        if (m_answerBodyLeft == 0) {
            m_inAnswerBody = false;
            answered();
        }
    }
}

void HttpConnection::answered() {
    if (m_phase != Phase::Answer)
        return;
    if (m_closeAfter) {
        m_phase = Phase::Closing;
        m_client->disconnectFromHost();
        return;
    }
    m_phase = Phase::Head;
    m_since.restart();
    m_in += m_client->readAll(); // what waited in the socket
    process();
}

void HttpConnection::refuse(int status, const QByteArray& reason, const QByteArray& text) {
    m_phase = Phase::Closing;
    m_deadline.stop();
    m_in.clear();
    m_client->readAll();
    m_client->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                    "\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                    QByteArray::number(text.size()) + "\r\n\r\n" + text);
    m_client->disconnectFromHost();
    m_ourSide->abort(); // the server is left nothing half-read
}

} // namespace tavo::gateway
