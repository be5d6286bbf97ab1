#pragma once

#include "PjlinkLineReader.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace tavo::gateway::pjlink {

class Responder;

// One PJLink client on a projector's port: the greeting, the password check on its first
// command, then one command at a time, each answered before the next is read. Closed after
// `idleMs` without a command, on a wrong digest (after PJLINK ERRA), on a line with no PJLink
// header, and when it floods (lines or answers piling up). Deletes itself once closed.
class Session : public QObject {
    Q_OBJECT

public:
    // An empty password: no check ("PJLINK 0").
    Session(QTcpSocket* socket, Responder& responder, const QString& password, int idleMs,
            QObject* parent = nullptr);

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
    QByteArray m_expectedDigest; // empty once checked, or without a password
    bool m_busy = false;         // a command is waiting for the projector
    bool m_taking = false;
    bool m_closing = false;
};

} // namespace tavo::gateway::pjlink
