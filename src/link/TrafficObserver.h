#pragma once

#include <QByteArray>
#include <QString>

namespace tavo {

// Told about everything that happens on the line, for a record of it. The port
// decorator reports the port's side, the link the reply time-out and the
// decoded words. Calls arrive on the UI thread, one at a time.
class TrafficObserver {
public:
    virtual ~TrafficObserver() = default;

    virtual void portOpened() = 0;
    virtual void portOpenFailed(const QString& reason) = 0;
    virtual void portClosed() = 0;
    virtual void linkLost() = 0;
    // The framed command; `delivered` is false when the port refused it.
    virtual void sent(const QByteArray& framed, bool delivered) = 0;
    // One piece as the port handed it over.
    virtual void received(const QByteArray& piece) = 0;
    // The link has finished handling one notification of the port.
    virtual void notificationHandled() = 0;
    // The reply time-out ticked; `silent` when nothing arrived since the send.
    virtual void replyTimeOut(bool silent) = 0;
    // A status read's reply was turned into words.
    virtual void replyDecoded(const QString& words) = 0;
};

} // namespace tavo
