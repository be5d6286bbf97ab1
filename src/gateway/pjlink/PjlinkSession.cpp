#include "PjlinkSession.h"

#include "PeerText.h"
#include "PjlinkDigest.h"
#include "PjlinkRequest.h"
#include "PjlinkResponder.h"

#include <QPointer>
#include <QTcpSocket>

namespace tavo::gateway::pjlink {
namespace {
constexpr int kDigestLength = 32;

bool isHex(const QByteArray& text) {
    for (const char c : text) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return false;
    }
    return true;
}

// Some clients put a digest in front of every command, or of the first one without a password.
QByteArray withoutDigest(const QByteArray& line) {
    if (line.size() > kDigestLength && line[kDigestLength] == '%' &&
        isHex(line.left(kDigestLength)))
        return line.mid(kDigestLength);
    return line;
}
} // namespace

Session::Session(QTcpSocket* socket, Responder& responder, const QString& password, Timing timing,
                 QObject* parent)
    : QObject(parent), m_socket(socket), m_responder(responder) {
    m_socket->setParent(this);
    m_socket->setReadBufferSize(4096);
    // The idle time alone would let a client that trickles a byte now and then hold a place on
    // the port for ever: a line, and the password, have deadlines of their own.
    const std::pair<QTimer*, int> timers[] = {
        {&m_idle, timing.idleMs}, {&m_line, timing.lineMs}, {&m_digest, timing.digestMs}};
    for (const auto& [timer, ms] : timers) {
        timer->setTimerType(Qt::PreciseTimer);
        timer->setSingleShot(true);
        timer->setInterval(ms);
    }
    connect(&m_idle, &QTimer::timeout, this, &Session::close);
    connect(&m_line, &QTimer::timeout, this, &Session::drop);
    connect(&m_digest, &QTimer::timeout, this, &Session::drop);
    connect(m_socket, &QTcpSocket::readyRead, this, &Session::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_closing = true;
        m_idle.stop();
        m_line.stop();
        m_digest.stop();
        emit closed();
        deleteLater();
    });
    if (password.isEmpty()) {
        write("PJLINK 0\r");
    } else {
        const QByteArray random = randomToken();
        m_expectedDigest = digest(random, password);
        write("PJLINK 1 " + random + '\r');
        m_digest.start();
    }
    m_idle.start();
}

void Session::onReadyRead() {
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    if (!m_reader.feed(m_socket->readAll())) {
        m_socket->abort(); // flooding: nothing it sent is answered
        return;
    }
    m_idle.start();
    if (!m_reader.midLine())
        m_line.stop();
    else if (!m_line.isActive())
        m_line.start();
    takeLines();
}

void Session::takeLines() {
    if (m_taking)
        return; // an answer given while taking a line: the loop goes on
    m_taking = true;
    while (!m_busy && !m_closing) {
        std::optional<LineReader::Line> line = m_reader.next();
        if (!line || !take(std::move(*line)))
            break;
    }
    m_taking = false;
}

// False when the connection ends here.
bool Session::take(LineReader::Line line) {
    QByteArray text = line.text;
    if (!m_expectedDigest.isEmpty()) {
        const bool right = !line.overlong && text.size() >= kDigestLength &&
                           digestMatches(text.left(kDigestLength), m_expectedDigest);
        if (!right) {
            // The command that followed, not the digest: that is the password's hash.
            m_responder.digestFailed(peer(), text.mid(kDigestLength, 64));
            write("PJLINK ERRA\r");
            close();
            return false;
        }
        m_expectedDigest.clear();
        m_digest.stop();
        text = text.mid(kDigestLength);
        if (text.isEmpty())
            return true; // the digest alone: the command may follow
    }
    const std::optional<Request> request = parseRequest(withoutDigest(text), line.overlong);
    if (!request) {
        close(); // nothing to answer for: not a PJLink client
        return false;
    }
    m_busy = true;
    m_idle.stop(); // a set waits for the projector: not idle
    QPointer<Session> self(this);
    m_responder.handle(*request, peer(), [self](const QByteArray& answer) {
        if (!self || self->m_closing)
            return;
        self->write(answer);
        self->m_answered = true;
        self->m_busy = false;
        self->m_idle.start(); // 30 s from the latest answer
        self->takeLines();
    });
    return true;
}

QString Session::peer() const {
    return peerText(*m_socket);
}

void Session::write(const QByteArray& bytes) {
    if (m_socket->bytesToWrite() + bytes.size() > kMaxUnsent) {
        m_closing = true;
        m_socket->abort();
        return;
    }
    m_socket->write(bytes);
    // Out now rather than from the write notifier on the loop's next pass: an answer costs one
    // write and no round of the notifier being turned on and off.
    m_socket->flush();
}

void Session::close() {
    if (m_closing)
        return;
    m_closing = true;
    m_idle.stop();
    m_line.stop();
    m_digest.stop();
    m_socket->disconnectFromHost(); // what was written still goes out
}

void Session::drop() {
    close();
    m_socket->abort();
}

} // namespace tavo::gateway::pjlink
