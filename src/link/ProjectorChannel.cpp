#include "ProjectorChannel.h"

#include "CommandText.h"
#include "LinePort.h"
#include "ReplyDecoder.h"
#include "SerialPort.h"
#include "Timer.h"
#include "Transcript.h"

#include <iterator>

namespace tavo {
namespace {
const QString kNoReplyMark = QStringLiteral(" X X X X ");
}

ProjectorChannel::ProjectorChannel(LinePort& port, Timer& replyTimer, Now now)
    : m_port(port), m_replyTimer(replyTimer), m_now(std::move(now)),
      m_self(std::make_shared<ProjectorChannel*>(this)) {
    m_replyTimer.setEnabled(false);
    m_replyTimer.setOnTimer([this] { onReplyTimeout(); });
    m_port.setOnComm([this] { onComm(); });
}

ProjectorChannel::~ProjectorChannel() {
    *m_self = nullptr;
    m_replyTimer.setOnTimer({});
    m_port.setOnComm({});
}

void ProjectorChannel::open(const QString& device, int baud, std::function<void(bool)> done) {
    const std::weak_ptr<ProjectorChannel*> self = m_self;
    m_port.open(device, baud, [self, done = std::move(done)](bool opened) {
        const auto alive = self.lock();
        if (alive && *alive)
            done(opened);
    });
}

void ProjectorChannel::close(const QString& reason) {
    failAll(reason);
    if (m_port.portOpen())
        m_port.close();
}

bool ProjectorChannel::isOpen() const {
    return m_port.portOpen();
}

QString ProjectorChannel::openError() const {
    return m_port.openError();
}

void ProjectorChannel::setOnLinkLost(std::function<void(const QString&)> handler) {
    m_onLinkLost = std::move(handler);
}

int ProjectorChannel::pending() const {
    return int(m_urgent.size() + m_normal.size()) + (m_current ? 1 : 0);
}

void ProjectorChannel::request(const QByteArray& command, const QByteArray& addressPrefix,
                               int timeoutMs, Done done, Priority priority) {
    if (const auto control = findControlByte(command)) {
        Exchange refused;
        refused.error = QStringLiteral("the command holds %1; nothing was sent")
                            .arg(describeControlByte(*control));
        done(refused);
        return;
    }
    Pending next{command, addressPrefix, qMax(1, timeoutMs), std::move(done)};
    (priority == Priority::Urgent ? m_urgent : m_normal).push_back(std::move(next));
    startNext();
}

ProjectorChannel::Pending ProjectorChannel::takeNext() {
    const bool normalTurn = !m_normal.empty() && (m_urgent.empty() || m_urgentRun >= kUrgentRun);
    std::deque<Pending>& from = normalTurn ? m_normal : m_urgent;
    m_urgentRun = normalTurn || m_normal.empty() ? 0 : m_urgentRun + 1;
    Pending next = std::move(from.front());
    from.pop_front();
    return next;
}

void ProjectorChannel::startNext() {
    // A request ending inside another's `done` starts the next one once, from the outer call.
    if (m_current || m_starting)
        return;
    m_starting = true;
    while (!m_current && (!m_urgent.empty() || !m_normal.empty())) {
        m_current = takeNext();
        m_exchange = Exchange();
        m_caption.clear();
        m_exchange.sent = frameCommand(m_current->prefix, m_current->command);
        m_exchange.sentTranscript = renderTranscript(m_exchange.sent);
        // Whatever waits now answered something else: the reply is what arrives after the write.
        m_port.input();
        m_sentAt = m_now();
        if (!m_port.output(m_exchange.sent)) {
            finish(Exchange::Status::Failed, QStringLiteral("not sent: the port is closed"));
            continue;
        }
        m_replyTimer.setEnabled(false);
        m_replyTimer.setInterval(m_current->timeoutMs);
        m_replyTimer.setEnabled(true);
    }
    m_starting = false;
}

void ProjectorChannel::onComm() {
    const int event = m_port.commEvent();
    if (event == SerialPort::EvLinkLost) {
        const QString reason = QStringLiteral("link lost: %1 went away").arg(m_port.deviceName());
        failAll(reason, Exchange::Status::LinkLost);
        if (m_onLinkLost)
            m_onLinkLost(reason);
        return;
    }
    if (event != SerialPort::EvReceive)
        return;
    const QByteArray arrived = m_port.input();
    if (!m_current)
        return; // nobody asked: noise, or a late answer to a request that timed out
    if (appendWithin(m_exchange.reply, arrived, kReceiveLimit) <= 0)
        return;
    // Decoded at every piece, as the status line is, so a reply in pieces reads the same. A read
    // the line shows no words for still gives its value.
    DecodedReply decoded = decodeReply(m_current->command + '\r', m_exchange.reply, m_caption);
    if (decoded.caption)
        m_caption = *decoded.caption;
    if (decoded.caption || decoded.readings != Readings())
        m_exchange.readings = decoded.readings;
    if (replyComplete(m_exchange.reply))
        finish(Exchange::Status::Ok, QString());
}

void ProjectorChannel::onReplyTimeout() {
    m_replyTimer.setEnabled(false);
    if (!m_current)
        return;
    finish(Exchange::Status::NoReply, m_exchange.reply.isEmpty()
                                          ? QStringLiteral("no reply")
                                          : QStringLiteral("incomplete reply"));
}

void ProjectorChannel::finish(Exchange::Status status, const QString& error) {
    m_replyTimer.setEnabled(false);
    Pending ended = std::move(*m_current);
    m_current.reset();
    m_exchange.status = status;
    m_exchange.error = error;
    m_exchange.elapsedMs = m_now() - m_sentAt;
    m_exchange.replyTranscript =
        m_exchange.reply.isEmpty() ? kNoReplyMark : renderTranscript(m_exchange.reply);
    const QString words = m_caption.trimmed();
    if (!words.isEmpty())
        m_exchange.decoded = words;
    const Exchange result = m_exchange;
    ended.done(result);
    startNext();
}

void ProjectorChannel::failAll(const QString& reason, Exchange::Status current) {
    // Taken first, so ending the one on the wire does not send the next.
    std::deque<Pending> waiting;
    waiting.swap(m_urgent);
    std::move(m_normal.begin(), m_normal.end(), std::back_inserter(waiting));
    m_normal.clear();
    m_urgentRun = 0;
    if (m_current)
        finish(current, reason);
    for (Pending& left : waiting) {
        Exchange failed; // never went out: nothing sent, nothing received
        failed.error = reason;
        left.done(failed);
    }
}

} // namespace tavo
