#include "PortSession.h"

#include "Address.h"

#include "SerialPort.h"
#include "Timer.h"

namespace tavo::ctl {
namespace {
const QString kPowerOn = QStringLiteral("Power ON");
}

PortSession::PortSession(SerialPort& port, Timer& replyTimer, Timer& pollTimer,
                         const Request& request, int baud, ResultHandler onResult,
                         std::function<void()> onDone, Now now)
    : m_port(port), m_replyTimer(replyTimer), m_pollTimer(pollTimer),
      m_link(port, replyTimer, m_displayTimer, m_store, m_view, m_globals), m_request(request),
      m_baud(baud), m_onResult(std::move(onResult)), m_onDone(std::move(onDone)),
      m_now(std::move(now)) {
    m_replyTimer.setInterval(m_request.timeoutMs);
    m_replyTimer.setOnTimer([this] { onReplyTimeout(); });
    m_pollTimer.setOnTimer([this] {
        m_pollTimer.setEnabled(false);
        exchange();
    });
    m_port.setOnComm([this] { onComm(); });
}

void PortSession::add(int index, const ProjectorEntry& projector) {
    m_queue << Job{index, prefixForAddressWord(projector.address).value_or(QByteArray())};
}

void PortSession::start() {
    m_port.setSettings(settingsForBaudCode(m_baud == 9600 ? 96 : 192));
    m_port.setCommPort(1); // the resolver ignores the number: it knows its device
    if (!m_port.setPortOpen(true)) {
        Outcome failed;
        failed.status = Outcome::Status::Failed;
        failed.error = QStringLiteral("Retry Comport: %1").arg(m_port.openError());
        const QList<Job> jobs = m_queue;
        m_queue.clear();
        for (const Job& job : jobs)
            m_onResult(job.index, failed);
        m_onDone();
        return;
    }
    nextJob();
}

void PortSession::nextJob() {
    if (m_queue.isEmpty()) {
        m_current.reset();
        m_port.setPortOpen(false);
        m_onDone();
        return;
    }
    m_current = m_queue.takeFirst();
    m_link.selectAddress(optionForStoredAddress(m_current->prefix));
    if (m_request.waitReady)
        m_readyBy = m_now() + qint64(m_request.waitSeconds) * 1000;
    exchange();
}

void PortSession::exchange() {
    // The display-clearing tick: blank the lines so the status line only
    // ever holds this reply's words.
    m_link.Timer4_Timer();
    // The command as the panel names it, so its reply decodes as on the
    // panel; the link frames a copy with the address, as the console does.
    m_globals.CurrentCommand = m_request.commandText + '\r';
    QByteArray framed = m_globals.CurrentCommand;
    m_last = Outcome();
    m_sentAt = m_now();
    m_awaiting = true;
    m_link.send(framed);
    m_last.sent = framed;
    m_last.sentTranscript = m_link.lineText(Line::Label11);
    if (m_link.lineText(Line::Label12) == ProjectorLink::notSentNotice())
        exchangeEnded(Outcome::Status::Failed, m_link.lineText(Line::Label12).trimmed());
}

void PortSession::onComm() {
    const bool lost = m_port.commEvent() == SerialPort::EvLinkLost;
    m_link.MSComm1_OnComm();
    if (!m_awaiting)
        return;
    if (lost) {
        exchangeEnded(Outcome::Status::Failed, m_link.lineText(Line::Label12).trimmed());
        return;
    }
    const QByteArray& buffer = m_link.state().ReceiveBuffer;
    if (buffer.contains('\r') || buffer.contains('\x06'))
        exchangeEnded(Outcome::Status::Ok, QString());
}

void PortSession::onReplyTimeout() {
    if (!m_awaiting) {
        m_link.Timer2_Timer();
        return;
    }
    const bool partial = !m_link.state().ReceiveBuffer.isEmpty();
    exchangeEnded(Outcome::Status::NoReply,
                  partial ? QStringLiteral("incomplete reply") : QStringLiteral("no reply"));
}

void PortSession::exchangeEnded(Outcome::Status status, const QString& error) {
    m_awaiting = false;
    m_last.status = status;
    m_last.error = error;
    m_last.reply = m_link.state().ReceiveBuffer;
    // The reply time-out's own tick ends the cycle: it marks a missing reply
    // " X X X X " and empties the buffer.
    m_link.Timer2_Timer();
    m_last.replyTranscript = m_link.lineText(Line::Label12);
    const QString decoded = m_link.lineText(Line::Label25).trimmed();
    if (!decoded.isEmpty())
        m_last.decoded = decoded;

    if (!m_request.waitReady || status == Outcome::Status::Failed) {
        finishJob(m_last);
        return;
    }
    if (status == Outcome::Status::Ok && m_last.decoded == kPowerOn) {
        finishJob(m_last);
        return;
    }
    const qint64 now = m_now();
    const qint64 wait = qMax<qint64>(0, m_sentAt + m_request.pollIntervalMs - now);
    if (now + wait > m_readyBy) {
        Outcome notReady = m_last;
        notReady.status = Outcome::Status::NoReply;
        notReady.error =
            QStringLiteral("not ready within %1 s").arg(m_request.waitSeconds) +
            (m_last.error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_last.error));
        finishJob(notReady);
        return;
    }
    if (wait == 0) {
        exchange(); // the time-out used up the second already; a window timer never ticks at 0
        return;
    }
    m_pollTimer.setInterval(int(wait));
    m_pollTimer.setEnabled(true);
}

void PortSession::finishJob(Outcome outcome) {
    m_onResult(m_current->index, outcome);
    nextJob();
}

} // namespace tavo::ctl
