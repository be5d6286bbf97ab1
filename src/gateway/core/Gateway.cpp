#include "Gateway.h"

#include "SerialPort.h"
#include "Timer.h"

#include <QHash>

namespace tavo::gateway {

Gateway::Gateway(SiteConfig site, PortFactory makePort, TimerFactory makeTimer, int pollMs,
                 ProjectorChannel::Now now, PortPoller::WallClock wallClock, QObject* parent)
    : QObject(parent), m_site(std::move(site)), m_audit(now, wallClock),
      m_states(size_t(m_site.projectors.size())), m_seen(size_t(m_site.projectors.size()), false),
      m_portOf(size_t(m_site.projectors.size()), -1) {
    // Projectors naming the same port share its poller, in site-file order.
    QHash<QString, int> pollerOf;
    QList<QList<QPair<int, ProjectorConfig>>> members;
    QList<QPair<QString, int>> ports; // target and baud of each poller
    for (int i = 0; i < m_site.projectors.size(); ++i) {
        const ProjectorConfig& p = m_site.projectors[i];
        auto found = pollerOf.constFind(p.target);
        int at = found == pollerOf.constEnd() ? -1 : found.value();
        if (at < 0) {
            at = int(members.size());
            pollerOf.insert(p.target, at);
            members.append(QList<QPair<int, ProjectorConfig>>());
            ports.append({p.target, p.baud});
        }
        members[at].append({i, p});
        m_portOf[size_t(i)] = at;
    }
    for (int at = 0; at < members.size(); ++at) {
        const QString target = ports[at].first;
        PortPoller::Events events;
        events.polled = [this](int index, const ProjectorState& reading) {
            takePoll(index, reading);
        };
        events.exchanged = [this](int index, const Exchange& exchange) {
            emit exchanged(index, exchange);
        };
        events.openFailed = [this, target](const QString& reason) {
            emit portOpenFailed(target, reason);
        };
        m_pollers.push_back(std::make_unique<PortPoller>(makePort(target), makeTimer(), makeTimer(),
                                                         members[at], ports[at].second, pollMs, now,
                                                         wallClock, std::move(events)));
    }
}

Gateway::~Gateway() {
    stop();
}

void Gateway::start() {
    for (auto& poller : m_pollers)
        poller->start();
}

void Gateway::stop() {
    for (auto& poller : m_pollers)
        poller->stop();
}

int Gateway::indexOf(const QString& name) const {
    for (int i = 0; i < m_site.projectors.size(); ++i)
        if (m_site.projectors[i].name == name)
            return i;
    return -1;
}

bool Gateway::portOpen(int index) const {
    return m_pollers[size_t(m_portOf[size_t(index)])]->isOpen();
}

int Gateway::queuedCommands(int index) const {
    return m_pollers[size_t(m_portOf[size_t(index)])]->queued(index);
}

void Gateway::setPower(int index, bool on, ProjectorChannel::Done done) {
    send(index, ProjectorCommand::power(on), std::move(done));
}

void Gateway::selectInput(int index, int input, ProjectorChannel::Done done) {
    const std::optional<ProjectorCommand> command = ProjectorCommand::input(input);
    if (!command) {
        Exchange refused;
        refused.error = QStringLiteral("no input %1 to select").arg(input);
        done(refused);
        return;
    }
    send(index, *command, std::move(done));
}

void Gateway::send(int index, const QByteArray& text, ProjectorChannel::Done done) {
    send(index, ProjectorCommand::typed(text), std::move(done));
}

void Gateway::send(int index, const ProjectorCommand& command, ProjectorChannel::Done done) {
    if (index < 0 || index >= projectorCount()) {
        Exchange refused;
        refused.error = QStringLiteral("no such projector");
        done(refused);
        return;
    }
    m_pollers[size_t(m_portOf[size_t(index)])]->command(
        index, command.text, command.changesPolledState, std::move(done));
}

void Gateway::sendFrom(const AuditOrigin& origin, int index, const ProjectorCommand& command,
                       ProjectorChannel::Done done) {
    const QString name = index >= 0 && index < projectorCount() ? projector(index).name : QString();
    send(index, command,
         [this, origin, name, text = command.text, done = std::move(done)](const Exchange& e) {
             m_audit.outcome(origin, name, text, e);
             done(e);
         });
}

QList<int> Gateway::projectorsOn(int line) const {
    QList<int> on;
    for (int i = 0; i < projectorCount(); ++i)
        if (m_portOf[size_t(i)] == line)
            on << i;
    return on;
}

void Gateway::sendOnLine(const AuditOrigin& origin, int line, const QByteArray& framed,
                         ProjectorChannel::Done done) {
    if (line < 0 || line >= lineCount()) {
        Exchange refused;
        refused.error = QStringLiteral("no such line");
        done(refused);
        return;
    }
    // The projectors it may reach: those set to its address, else (all, no address the site
    // names) every projector on the line.
    static const QByteArray kAll("AFFF");
    const bool addressed =
        framed.size() > 4 && (framed.startsWith(kAll) ||
                              (framed.startsWith("A00") && framed[3] >= '1' && framed[3] <= '4'));
    const QByteArray prefix = addressed ? framed.left(4) : QByteArray();
    const QList<int> on = projectorsOn(line);
    QList<int> reached;
    for (int i : on)
        if (prefix != kAll && projector(i).prefix == prefix)
            reached << i;
    if (reached.isEmpty())
        reached = on;
    const QString name = reached.size() == 1 ? projector(reached.first()).name : QString();
    const QByteArray command = framed.mid(prefix.size());
    const bool changes = ProjectorCommand::typed(command).changesPolledState;
    m_pollers[size_t(line)]->lineCommand(
        framed, reached.first(), changes ? reached : QList<int>(),
        [this, origin, name, framed, done = std::move(done)](const Exchange& e) {
            m_audit.outcome(origin, name, framed, e);
            done(e);
        });
}

void Gateway::takePoll(int index, const ProjectorState& reading) {
    ProjectorState& state = m_states[size_t(index)];
    const bool changed = !m_seen[size_t(index)] || !state.sameReadings(reading);
    // An unanswered poll keeps the last readings' time; the readings themselves are gone.
    const QDateTime updated = reading.updated.isValid() ? reading.updated : state.updated;
    state = reading;
    state.updated = updated;
    m_seen[size_t(index)] = true;
    emit polled(index);
    if (changed)
        emit stateChanged(index);
}

} // namespace tavo::gateway
