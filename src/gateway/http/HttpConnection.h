#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace tavo::gateway {

// One client of the HTTP front, between its socket and the HTTP server. The server gets the
// requests one at a time over a socket pair of its own: the next request is held back until the
// answer to the one before has been passed on whole, so answers keep the order of the requests
// however long a projector takes. On the way, each request head is checked (readRequestHead),
// HEAD is asked as GET and answered without the body, and:
// - a request must be whole `requestMs` after its first byte, or it is answered 408 and closed;
// - a request longer than `requestLimit` bytes (head and body) is answered 413 and closed;
// - a connection with no traffic for `idleMs` is closed.
// Deletes itself once the client is gone.
class HttpConnection : public QObject {
    Q_OBJECT

public:
    struct Limits {
        qint64 requestLimit = 16 * 1024;
        int requestMs = 5000;
        int idleMs = 30000;
    };

    // Takes `client`, a connected socket. The server's end of the pair is made a child of
    // `serverSideParent`, as the HTTP server expects to delete it itself.
    HttpConnection(QTcpSocket* client, Limits limits, QObject* serverSideParent,
                   QObject* parent = nullptr);
    ~HttpConnection() override;

    // What to hand to the HTTP server; null when no socket pair could be made.
    QTcpSocket* serverSide() const { return m_serverSide; }
    // Waiting for the client (a request not yet whole, or none begun), nothing left to answer.
    bool waitingForClient() const { return m_phase == Phase::Head || m_phase == Phase::Body; }
    // Since when it has been waiting for the client.
    qint64 waitedMs() const { return m_since.elapsed(); }
    // Closes at once.
    void drop();

    // Answers not yet taken by a client: past this, no further request is read until it has.
    static constexpr qint64 kMaxUnsent = 1024 * 1024;

private:
    enum class Phase { Head, Body, Answer, Closing };

    void onClientData();
    void onServerData();
    void process();
    void answered();
    void refuse(int status, const QByteArray& reason, const QByteArray& text);

    QTcpSocket* m_client;
    QTcpSocket* m_ourSide = nullptr;
    QTcpSocket* m_serverSide = nullptr;
    Limits m_limits;
    QTimer m_idle;
    QTimer m_deadline; // for the request being read
    QElapsedTimer m_since;
    Phase m_phase = Phase::Head;
    QByteArray m_in; // from the client, not yet passed on
    qint64 m_bodyLeft = 0;
    bool m_headOnly = false;
    bool m_closeAfter = false;
    QByteArray m_answerHead; // the answer's head, until its end has come
    bool m_inAnswerBody = false;
    qint64 m_answerBodyLeft = 0;
};

} // namespace tavo::gateway
