#pragma once

#include "TrafficRow.h"

#include "link/TrafficObserver.h"

#include <QList>

#include <functional>

namespace tavo {

class SerialPort;
class Timer;

// Turns what the port and the link report into rows: one TX row per command,
// one RX row per reply however many pieces it came in, and one row per change
// of the link's state. A reply ends at its CR, as a lone ACK, at the reply
// time-out, at the next send, or when it has been open for `rowTimer`'s
// interval; so noise becomes a few bounded rows, never one per byte.
class TrafficRecorder : public TrafficObserver {
public:
    using Clock = std::function<qint64()>; // milliseconds since the epoch
    using Sink = std::function<void(const TrafficRow&)>;
    using AddressSource = std::function<QByteArray()>;

    // `port` names the port in the rows; `rowTimer` is armed while a reply is
    // open and closes it when it ticks.
    TrafficRecorder(const SerialPort& port, Timer& rowTimer, Clock now, AddressSource address,
                    Sink sink);

    // The last state change: the port was lost and not opened since.
    bool lost() const { return m_lost; }

    void portOpened() override;
    void portOpenFailed(const QString& reason) override;
    void portClosed() override;
    void linkLost() override;
    void sent(const QByteArray& framed, bool delivered) override;
    void received(const QByteArray& piece) override;
    void notificationHandled() override;
    void replyTimeOut(bool silent) override;
    void replyDecoded(const QString& words) override;

private:
    const QString& portLabel() const;
    TrafficRow row(TrafficKind kind) const;
    void emitRow(const TrafficRow& row);
    void append(const char* data, qsizetype size);
    void closeReply();
    void flush();

    const SerialPort& m_port;
    Timer& m_rowTimer;
    Clock m_now;
    AddressSource m_address;
    Sink m_sink;
    TrafficRow m_open; // the reply being received
    bool m_replyOpen = false;
    QList<TrafficRow> m_done; // closed replies, held until the link has decoded them
    bool m_lost = false;
    mutable QString m_portLabel;
    mutable QString m_labelDevice;
    mutable int m_labelNumber = 0;
};

} // namespace tavo
