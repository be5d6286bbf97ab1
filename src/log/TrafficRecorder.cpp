#include "TrafficRecorder.h"

#include "link/SerialPort.h"
#include "link/Timer.h"

#include <cstring>

namespace tavo {
namespace {

constexpr char kAck = 6;
constexpr char kCr = 13;

QString portLabel(const SerialPort& port) {
    const QString com = QStringLiteral("COM%1").arg(port.commPort());
    const QString device = port.deviceName();
    return device.isEmpty() ? com : com + QLatin1Char(' ') + device;
}

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

TrafficRow TrafficRecorder::row(TrafficKind kind) const {
    TrafficRow r;
    r.time = m_now();
    r.kind = kind;
    r.port = portLabel(m_port);
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
        m_rowTimer.setEnabled(true);
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
