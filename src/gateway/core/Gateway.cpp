#include "Gateway.h"

#include "LinePort.h"
#include "Timer.h"

namespace tavo::gateway {

Gateway::Gateway(SiteConfig site, PortFactory makePort, TimerFactory makeTimer, int pollMs,
                 ProjectorChannel::Now now, PortPoller::WallClock wallClock, QObject* parent)
    : QObject(parent), m_site(std::move(site)), m_makePort(std::move(makePort)),
      m_makeTimer(std::move(makeTimer)), m_pollMs(pollMs), m_now(std::move(now)),
      m_wallClock(std::move(wallClock)), m_audit(m_now, m_wallClock),
      m_states(size_t(m_site.projectors.size())), m_seen(size_t(m_site.projectors.size()), false) {
    // Projectors naming the same port share its poller, in site-file order.
    for (const ProjectorConfig& p : std::as_const(m_site.projectors)) {
        m_keys.push_back(m_nextKey++);
        pollerFor(p).addProjector(m_keys.back(), p);
    }
    indexKeys();
}

Gateway::~Gateway() {
    stop();
}

// The port's poller, made (not started) for the first projector on it.
PortPoller& Gateway::pollerFor(const ProjectorConfig& p) {
    std::unique_ptr<PortPoller>& poller = m_pollers[p.target];
    if (poller)
        return *poller;
    const QString target = p.target;
    PortPoller::Events events;
    events.polled = [this](int key, const ProjectorState& reading) { takePoll(key, reading); };
    events.exchanged = [this](int key, const Exchange& exchange) {
        if (const int index = indexOfKey(key); index >= 0)
            emit exchanged(index, exchange);
    };
    events.openFailed = [this, target](const QString& reason) {
        emit portOpenFailed(target, reason);
    };
    poller = std::make_unique<PortPoller>(m_makePort(), m_makeTimer(), m_makeTimer(),
                                          QList<QPair<int, ProjectorConfig>>(), target, p.baud,
                                          m_pollMs, m_now, m_wallClock, std::move(events));
    return *poller;
}

void Gateway::start() {
    m_started = true;
    for (auto& [target, poller] : m_pollers)
        poller->start();
}

void Gateway::stop() {
    m_started = false;
    for (auto& [target, poller] : m_pollers)
        poller->stop();
}

SiteChange Gateway::reload(SiteConfig next) {
    const SiteChange change = diffSites(m_site, next);
    std::vector<ProjectorState> states;
    std::vector<bool> seen;
    std::vector<int> keys;
    for (size_t i = 0; i < change.oldIndex.size(); ++i) {
        const int old = change.oldIndex[i];
        states.push_back(old >= 0 ? m_states[size_t(old)] : ProjectorState());
        seen.push_back(old >= 0 && m_seen[size_t(old)]);
        keys.push_back(old >= 0 ? m_keys[size_t(old)] : m_nextKey++);
    }
    for (const ProjectorConfig& gone : change.removed)
        m_pollers[gone.target]->removeProjector(m_keys[size_t(indexOf(gone.name))]);
    m_site = std::move(next);
    m_states = std::move(states);
    m_seen = std::move(seen);
    m_keys = std::move(keys);
    indexKeys();
    // A port left without projectors is closed (its lock freed) before a new one may open it,
    // at another speed perhaps; what still waited on it ends now, told to no one's place.
    for (auto it = m_pollers.begin(); it != m_pollers.end();) {
        if (it->second->hasProjectors()) {
            ++it;
            continue;
        }
        std::unique_ptr<PortPoller> gone = std::move(it->second);
        it = m_pollers.erase(it);
        gone.reset();
    }
    emit siteChanged(change);
    for (size_t i = 0; i < change.oldIndex.size(); ++i) {
        if (change.oldIndex[i] >= 0)
            continue;
        const ProjectorConfig& p = m_site.projectors[int(i)];
        const bool newPort = m_pollers.count(p.target) == 0;
        PortPoller& poller = pollerFor(p);
        poller.addProjector(m_keys[i], p);
        if (newPort && m_started)
            poller.start();
    }
    return change;
}

int Gateway::indexOfKey(int key) const {
    const auto found = m_indexOfKey.find(key);
    return found == m_indexOfKey.end() ? -1 : found->second;
}

void Gateway::indexKeys() {
    m_indexOfKey.clear();
    m_indexOfKey.reserve(m_keys.size());
    for (size_t i = 0; i < m_keys.size(); ++i)
        m_indexOfKey.emplace(m_keys[i], int(i));
}

int Gateway::indexOf(const QString& name) const {
    for (int i = 0; i < m_site.projectors.size(); ++i)
        if (m_site.projectors[i].name == name)
            return i;
    return -1;
}

bool Gateway::portOpen(int index) const {
    return m_pollers.at(projector(index).target)->isOpen();
}

int Gateway::queuedCommands(int index) const {
    return m_pollers.at(projector(index).target)->queued(m_keys[size_t(index)]);
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
    m_pollers.at(projector(index).target)
        ->command(m_keys[size_t(index)], command.text, command.changesPolledState, std::move(done));
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

QStringList Gateway::lines() const {
    QStringList lines;
    for (const ProjectorConfig& p : m_site.projectors)
        if (!lines.contains(p.target))
            lines << p.target;
    return lines;
}

QList<int> Gateway::projectorsOn(const QString& line) const {
    QList<int> on;
    for (int i = 0; i < projectorCount(); ++i)
        if (projector(i).target == line)
            on << i;
    return on;
}

void Gateway::sendOnLine(const AuditOrigin& origin, const QString& line, const QByteArray& framed,
                         ProjectorChannel::Done done) {
    const auto poller = m_pollers.find(line);
    const QList<int> on = projectorsOn(line);
    if (poller == m_pollers.end() || on.isEmpty()) {
        Exchange refused;
        refused.error = QStringLiteral("no such line");
        m_audit.outcome(origin, QString(), framed, refused);
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
    QList<int> reached;
    for (int i : on)
        if (prefix != kAll && projector(i).prefix == prefix)
            reached << i;
    if (reached.isEmpty())
        reached = on;
    // The poller knows them by key: a reload while the command waits does not misplace them.
    QList<int> keys;
    for (int i : reached)
        keys << m_keys[size_t(i)];
    const QString name = reached.size() == 1 ? projector(reached.first()).name : QString();
    const QByteArray command = framed.mid(prefix.size());
    const bool changes = ProjectorCommand::typed(command).changesPolledState;
    poller->second->lineCommand(
        framed, keys.first(), changes ? keys : QList<int>(),
        [this, origin, name, framed, done = std::move(done)](const Exchange& e) {
            m_audit.outcome(origin, name, framed, e);
            done(e);
        });
}

void Gateway::takePoll(int key, const ProjectorState& reading) {
    const int index = indexOfKey(key);
    if (index < 0)
        return; // removed by a reload while it was read
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
