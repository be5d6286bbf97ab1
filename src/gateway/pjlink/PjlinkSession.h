#pragma once

#include "PjlinkLineReader.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace tavo::gateway::pjlink {

class Responder;

// One PJLink client on a projector's port: the greeting, the password check on its first
// command, then one command at a time, each answered before the next is read. Closed without an
// answer after `idleMs` without a command, when a line is not whole `lineMs` after its first
// byte, when a password port has no first command `digestMs` after the greeting, on a wrong
// digest (after PJLINK ERRA), on a line with no PJLink header, and when it floods (lines or
// answers piling up). Deletes itself once closed.
class Session : public QObject {
    Q_OBJECT

public:
    struct Timing {
        int idleMs = 30000;
        int lineMs = 5000;
        int digestMs = 5000;
    };

    // An empty password: no check ("PJLINK 0").
    Session(QTcpSocket* socket, Responder& responder, const QString& password, Timing timing,
            QObject* parent = nullptr);

    // Whether a command of this client has been answered: until then it has shown nothing of
    // being a PJLink client, and is the first to go when the port is full.
    bool answered() const { return m_answered; }
    // Closes at once, unanswered.
    void drop();

    // Answers not yet read by a client that keeps sending: past this it is dropped.
    static constexpr qint64 kMaxUnsent = 16 * 1024;

signals:
    void closed();

private:
    void onReadyRead();
    void takeLines();
    bool take(LineReader::Line line);
    void write(const QByteArray& bytes);
    void close();

    QTcpSocket* m_socket;
    Responder& m_responder;
    LineReader m_reader;
    QTimer m_idle;
    QTimer m_line;               // a line begun must end before this fires
    QTimer m_digest;             // the first command on a password port must come before this fires
    QByteArray m_expectedDigest; // empty once checked, or without a password
    bool m_busy = false;         // a command is waiting for the projector
    bool m_taking = false;
    bool m_closing = false;
    bool m_answered = false;
};

} // namespace tavo::gateway::pjlink
