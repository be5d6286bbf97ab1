#include "TrafficRecorder.h"

#include "link/SerialPort.h"
#include "link/Timer.h"

#include <cstring>

namespace tavo {
namespace {

constexpr char kAck = 6;
constexpr char kCr = 13;

} // namespace

TrafficRecorder::TrafficRecorder(const SerialPort& port, Timer& rowTimer, Clock now,
                                 AddressSource address, Sink sink)
    : m_port(port), m_rowTimer(rowTimer), m_now(std::move(now)), m_address(std::move(address)),
      m_sink(std::move(sink)) {
    m_rowTimer.setOnTimer([this] {
        closeReply();
        flush();
    });
}

// Built again only when the port number or the device changed: rows share one string.
const QString& TrafficRecorder::portLabel() const {
    const int number = m_port.commPort();
    const QString device = m_port.deviceName();
    if (m_labelNumber != number || m_labelDevice != device || m_portLabel.isEmpty()) {
        m_labelNumber = number;
        m_labelDevice = device;
        m_portLabel = QStringLiteral("COM%1").arg(number);
        if (!device.isEmpty())
            m_portLabel += QLatin1Char(' ') + device;
    }
    return m_portLabel;
}

TrafficRow TrafficRecorder::row(TrafficKind kind) const {
    TrafficRow r;
    r.time = m_now();
    r.kind = kind;
    r.port = portLabel();
    r.address = m_address();
    return r;
}

void TrafficRecorder::emitRow(const TrafficRow& r) {
    if (m_sink)
        m_sink(r);
}

void TrafficRecorder::flush() {
    const QList<TrafficRow> done = std::exchange(m_done, {});
    for (const TrafficRow& r : done)
        emitRow(r);
}

void TrafficRecorder::closeReply() {
    if (!m_replyOpen)
        return;
    m_replyOpen = false;
    m_rowTimer.setEnabled(false);
    m_done.append(std::exchange(m_open, {}));
}

void TrafficRecorder::append(const char* data, qsizetype size) {
    if (!m_replyOpen) {
        m_open = row(TrafficKind::Rx);
        m_replyOpen = true;
    }
    const qsizetype room = qMax<qsizetype>(0, TrafficRow::kByteLimit - m_open.bytes.size());
    const qsizetype kept = qMin(room, size);
    m_open.bytes.append(data, kept);
    m_open.moreBytes += size - kept;
}

void TrafficRecorder::received(const QByteArray& piece) {
    const char* data = piece.constData();
    qsizetype left = piece.size();
    while (left > 0) {
        if (!m_replyOpen && *data == kAck) { // an acknowledgement is a reply of its own
            append(data, 1);
            closeReply();
            ++data;
            --left;
            continue;
        }
        const void* cr = std::memchr(data, kCr, size_t(left));
        const qsizetype size = cr ? static_cast<const char*>(cr) - data + 1 : left;
        append(data, size);
        if (cr)
            closeReply();
        data += size;
        left -= size;
    }
    // Most replies end within their piece; only one left open needs the timer.
    if (m_replyOpen)
        m_rowTimer.setEnabled(true);
}

void TrafficRecorder::replyDecoded(const QString& words) {
    // Decoding follows the piece that completed the words: the reply still
    // open, or the one that piece closed.
    TrafficRow* target = m_replyOpen ? &m_open : (m_done.isEmpty() ? nullptr : &m_done.last());
    if (target)
        target->detail = words.trimmed();
}

void TrafficRecorder::notificationHandled() {
    flush();
}

void TrafficRecorder::sent(const QByteArray& framed, bool delivered) {
    closeReply();
    flush();
    TrafficRow r = row(delivered ? TrafficKind::Tx : TrafficKind::NotSent);
    const qsizetype kept = qMin<qsizetype>(framed.size(), TrafficRow::kByteLimit);
    r.bytes = framed.left(kept);
    r.moreBytes = framed.size() - kept;
    if (!delivered)
        r.detail = QStringLiteral("the port is closed");
    emitRow(r);
}

void TrafficRecorder::replyTimeOut(bool silent) {
    closeReply();
    flush();
    if (silent)
        emitRow(row(TrafficKind::TimeOut));
}

void TrafficRecorder::portOpened() {
    closeReply();
    flush();
    m_lost = false;
    TrafficRow r = row(TrafficKind::Opened);
    r.detail = m_port.settings();
    emitRow(r);
}

void TrafficRecorder::portOpenFailed(const QString& reason) {
    flush();
    TrafficRow r = row(TrafficKind::OpenFailed);
    r.detail = reason;
    emitRow(r);
}

void TrafficRecorder::portClosed() {
    closeReply();
    flush();
    m_lost = false;
    emitRow(row(TrafficKind::Closed));
}

void TrafficRecorder::linkLost() {
    closeReply();
    flush();
    m_lost = true;
    TrafficRow r = row(TrafficKind::Lost);
    r.detail = QStringLiteral("the device went away");
    emitRow(r);
}

} // namespace tavo
