#include "PortSession.h"

#include "Address.h"
#include "Timer.h"

namespace tavo::ctl {

PortSession::PortSession(LinePort& port, Timer& replyTimer, Timer& pollTimer,
                         const Request& request, const QString& device, int baud,
                         ResultHandler onResult, std::function<void()> onDone,
                         ProjectorChannel::Now now)
    : m_channel(port, replyTimer, now), m_pollTimer(pollTimer), m_request(request),
      m_device(device), m_baud(baud), m_onResult(std::move(onResult)), m_onDone(std::move(onDone)),
      m_now(std::move(now)) {
    m_pollTimer.setOnTimer([this] {
        m_pollTimer.setEnabled(false);
        exchange();
    });
}

void PortSession::add(int index, const ProjectorEntry& projector) {
    m_queue << Job{index, prefixForAddressWord(projector.address).value_or(QByteArray())};
}

void PortSession::start() {
    m_channel.open(m_device, m_baud, [this](bool opened) {
        if (m_finished)
            return;
        if (!opened) {
            Outcome failed;
            failed.status = Outcome::Status::Failed;
            failed.error = QStringLiteral("Retry Comport: %1").arg(m_channel.openError());
            for (const Job& job : std::as_const(m_queue))
                m_onResult(job.index, failed);
            m_queue.clear();
            m_finished = true;
            m_onDone();
            return;
        }
        nextJob();
    });
}

void PortSession::stop(const QString& reason) {
    if (m_finished)
        return;
    m_pollTimer.setEnabled(false);
    skipRest(reason);
}

void PortSession::nextJob() {
    if (m_queue.isEmpty()) {
        m_current.reset();
        m_finished = true;
        m_channel.close();
        m_onDone();
        return;
    }
    m_current = m_queue.takeFirst();
    if (m_request.waitReady)
        m_readyBy = m_now() + qint64(m_request.waitSeconds) * 1000;
    exchange();
}

void PortSession::exchange() {
    m_sentAt = m_now();
    m_channel.request(m_request.commandText, m_current->prefix, m_request.timeoutMs,
                      [this](const Exchange& ended) { exchangeEnded(ended); });
}

void PortSession::exchangeEnded(const Exchange& ended) {
    if (m_finished || !m_current)
        return; // stopped meanwhile: the job was reported already
    Outcome last;
    static_cast<Exchange&>(last) = ended;
    if (ended.status == Outcome::Status::LinkLost) {
        finishJob(last);
        if (!m_finished)
            skipRest(QStringLiteral("not tried: the link was lost"));
        return;
    }
    if (!m_request.waitReady || ended.status == Outcome::Status::Failed) {
        finishJob(last);
        nextJob();
        return;
    }
    if (ended.status == Outcome::Status::Ok && last.readings.power == PowerState::On) {
        finishJob(last);
        nextJob();
        return;
    }
    const qint64 now = m_now();
    const qint64 wait = qMax<qint64>(0, m_sentAt + m_request.pollIntervalMs - now);
    if (now + wait > m_readyBy) {
        Outcome notReady = last;
        notReady.status = Outcome::Status::NoReply;
        notReady.error =
            QStringLiteral("not ready within %1 s").arg(m_request.waitSeconds) +
            (last.error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(last.error));
        finishJob(notReady);
        nextJob();
        return;
    }
    if (wait == 0) {
        exchange(); // the time-out used up the second already; a window timer never ticks at 0
        return;
    }
    m_pollTimer.setInterval(int(wait));
    m_pollTimer.setEnabled(true);
}

void PortSession::finishJob(const Outcome& outcome) {
    const int index = m_current->index;
    m_current.reset();
    m_onResult(index, outcome);
}

void PortSession::skipRest(const QString& reason) {
    Outcome skipped;
    skipped.status = Outcome::Status::Failed;
    skipped.tried = false;
    skipped.error = reason;
    QList<Job> left = m_queue;
    if (m_current)
        left.prepend(*m_current);
    m_current.reset();
    m_queue.clear();
    m_finished = true;
    for (const Job& job : std::as_const(left))
        m_onResult(job.index, skipped);
    m_channel.close(reason);
    m_onDone();
}

} // namespace tavo::ctl
