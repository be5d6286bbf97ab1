#include "MqttFront.h"

#include "CommandPayload.h"
#include "Gateway.h"
#include "MqttClient.h"

#include "ExchangeJson.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QRandomGenerator>

namespace tavo::gateway {
namespace {

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A payload as text for an error message: printable ASCII as it is, the rest escaped.
QString shown(const QByteArray& payload) {
    QString out;
    for (const char c : payload.left(64)) {
        const auto byte = static_cast<quint8>(c);
        out += byte >= 0x20 && byte < 0x7F
                   ? QString(QLatin1Char(c))
                   : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return payload.size() > 64 ? out + QStringLiteral("…") : out;
}

QString isoTime(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QString MqttFront::clientIdFor(const QString& site, const QString& host) {
    return QStringLiteral("mx7300-gateway-%1-%2-%3")
        .arg(site, host.isEmpty() ? QStringLiteral("host") : host)
        .arg(QRandomGenerator::system()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

MqttFront::MqttFront(Gateway& gateway, MqttClient& client, Options options, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_client(client), m_topics(std::move(options.topics)),
      m_look(std::move(options.look)), m_host(std::move(options.host)),
      m_clientId(std::move(options.clientId)), m_started(QDateTime::currentDateTimeUtc()),
      m_published(size_t(gateway.projectorCount()), -1),
      m_knownStates(size_t(gateway.projectorCount())) {
    m_topics.site = gateway.site().name;
    // Before names were escaped in identifiers, configs lay under homeassistant/…/tavo_SITE.
    const QString legacyNode = QStringLiteral("tavo_") + m_topics.site;
    if (m_topics.base == QLatin1String("tavo") &&
        (m_topics.haPrefix != QLatin1String("homeassistant") ||
         discoveryNode(m_topics) != legacyNode))
        m_legacyFilter = QStringLiteral("homeassistant/+/%1/+/config").arg(legacyNode);

    collectOwned();

    for (QTimer* timer : {&m_phaseTimer, &m_discoveryTimer, &m_republish, &m_gatewayStateTimer})
        timer->setTimerType(Qt::PreciseTimer);
    m_phaseTimer.setSingleShot(true);
    connect(&m_phaseTimer, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Settling)
            onSettled();
        else if (m_phase == Phase::Confirming)
            takeSite();
    });
    m_discoveryTimer.setInterval(kDiscoveryTickMs);
    connect(&m_discoveryTimer, &QTimer::timeout, this, &MqttFront::stepDiscovery);
    m_republish.setInterval(kRepublishMs);
    connect(&m_republish, &QTimer::timeout, this, [this] {
        for (int i = 0; i < m_gateway.projectorCount(); ++i)
            if (m_gateway.state(i).available)
                publishProjector(i);
    });
    m_gatewayStateTimer.setInterval(kGatewayStateMs);
    connect(&m_gatewayStateTimer, &QTimer::timeout, this, [this] {
        if (m_lastPoll != m_lastPollPublished)
            publishGatewayState();
    });

    connect(&m_client, &MqttClient::connected, this, &MqttFront::onConnected);
    connect(&m_client, &MqttClient::disconnected, this, [this] {
        if (m_phase != Phase::Yielded)
            m_phase = Phase::Offline;
        m_phaseTimer.stop();
        m_discoveryTimer.stop();
    });
    connect(&m_client, &MqttClient::messageReceived, this, &MqttFront::onMessage);
    connect(&m_gateway, &Gateway::stateChanged, this, &MqttFront::publishProjector);
    connect(&m_gateway, &Gateway::siteChanged, this, &MqttFront::takeSiteChange);
    connect(&m_gateway, &Gateway::polled, this, [this](int index) {
        if (m_gateway.state(index).available)
            m_lastPoll = QDateTime::currentDateTimeUtc();
    });
}

// The site's configs and the retained topics this gateway owns, for the projectors it has now.
void MqttFront::collectOwned() {
    m_configs = gatewayConfigs(m_topics, m_look);
    m_ours.clear();
    m_ours << m_topics.gatewayAvailability() << m_topics.gateway(QStringLiteral("state"))
           << m_topics.gateway(QStringLiteral("claim"));
    for (int i = 0; i < m_gateway.projectorCount(); ++i) {
        const QString name = m_gateway.projector(i).name;
        m_ours << m_topics.of(name, QStringLiteral("state"))
               << m_topics.of(name, QStringLiteral("availability"));
        m_configs << projectorConfigs(m_topics, m_look, m_gateway.projector(i));
    }
    for (const DiscoveryConfig& config : std::as_const(m_configs))
        m_ours << config.topic;
}

// A reload: kept projectors are not published again (Home Assistant sees no gap); removed ones'
// retained state, availability and configs are cleared; added ones are announced at once.
void MqttFront::takeSiteChange(const SiteChange& change) {
    std::vector<int> published;
    std::vector<QByteArray> knownStates;
    for (const int old : change.oldIndex) {
        published.push_back(old >= 0 ? m_published[size_t(old)] : -1);
        knownStates.push_back(old >= 0 ? m_knownStates[size_t(old)] : QByteArray());
    }
    m_published = std::move(published);
    m_knownStates = std::move(knownStates);
    collectOwned();
    if (m_discoveryTimer.isActive())
        m_discoveryNext = 0; // the list under way changed: start it over
    if (m_phase != Phase::Held || m_stopping)
        return; // the retained left-overs are cleared once the site is held
    for (const ProjectorConfig& gone : change.removed) {
        QStringList topics{m_topics.of(gone.name, QStringLiteral("state")),
                           m_topics.of(gone.name, QStringLiteral("availability"))};
        for (const DiscoveryConfig& config : projectorConfigs(m_topics, m_look, gone))
            topics << config.topic;
        for (const QString& topic : std::as_const(topics))
            if (!m_ours.contains(topic)) // a changed projector publishes it again below
                m_client.publish(topic, QByteArray(), true);
    }
    publishGatewayState(); // the count of projectors changed
    for (size_t i = 0; i < change.oldIndex.size(); ++i) {
        if (change.oldIndex[i] >= 0)
            continue;
        for (const DiscoveryConfig& config :
             projectorConfigs(m_topics, m_look, m_gateway.projector(int(i))))
            m_client.publish(config.topic, config.payload, true);
        publishProjector(int(i));
    }
}

void MqttFront::start() {
    const QString root = m_topics.root();
    // The records first: on a connect they come back before anything else is acted on.
    m_client.subscribe(m_topics.gateway(QStringLiteral("claim")));
    m_client.subscribe(root + QStringLiteral("+/availability"));
    m_client.subscribe(root + QStringLiteral("+/state"));
    // What earlier starts left retained, so that projectors since removed can be cleared.
    m_client.subscribe(discoveryFilter(m_topics));
    if (!m_legacyFilter.isEmpty())
        m_client.subscribe(m_legacyFilter);
    m_client.subscribe(root + QStringLiteral("+/set/power"));
    m_client.subscribe(root + QStringLiteral("+/set/input"));
    m_client.subscribe(root + QStringLiteral("+/send"));
    m_client.subscribe(m_topics.haStatus());
    m_republish.start();
    m_gatewayStateTimer.start();
}

void MqttFront::stop() {
    m_stopping = true;
    m_phaseTimer.stop();
    m_discoveryTimer.stop();
    if (m_phase != Phase::Held) {
        m_client.stopWith(QString(), QByteArray());
        return;
    }
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        m_client.publish(m_topics.of(m_gateway.projector(i).name, QStringLiteral("availability")),
                         "offline", true);
    m_client.stopWith(m_topics.gatewayAvailability(), "offline");
}

void MqttFront::onConnected() {
    if (m_phase == Phase::Yielded || m_stopping)
        return;
    m_phase = Phase::Settling;
    m_claim = QJsonObject();
    m_availability.clear();
    m_leftOvers.clear();
    m_discoveryTimer.stop();
    m_phaseTimer.start(kClaimSettleMs);
}

void MqttFront::onSettled() {
    const bool rival = !m_claim.isEmpty() && !claimIsOurs(m_claim) && m_availability == "online";
    if (rival) {
        yieldSite(m_claim);
        return;
    }
    m_client.publish(m_topics.gateway(QStringLiteral("claim")), claimRecord(), true);
    m_phase = Phase::Confirming;
    m_phaseTimer.start(kClaimConfirmMs);
}

void MqttFront::takeSite() {
    m_phase = Phase::Held;
    // Cleared before the new configs go out, so that Home Assistant frees an entity id before
    // an entity of the same name asks for it.
    for (const QString& topic : std::as_const(m_leftOvers))
        m_client.publish(topic, QByteArray(), true);
    const bool cleared = !m_leftOvers.isEmpty();
    m_leftOvers.clear();
    m_client.publish(m_topics.gatewayAvailability(), "online", true);
    std::fill(m_published.begin(), m_published.end(), -1);
    m_onlinePublished = -1;
    for (int i = 0; i < m_gateway.projectorCount(); ++i) {
        publishProjector(i);
        // What a projector away now said last, for a broker that lost its retained messages.
        if (!m_gateway.state(i).available && !m_knownStates[size_t(i)].isEmpty())
            m_client.publish(m_topics.of(m_gateway.projector(i).name, QStringLiteral("state")),
                             m_knownStates[size_t(i)], true);
    }
    if (m_lastPoll.isValid())
        publishGatewayState();
    m_discoveryNext = 0;
    if (cleared)
        QTimer::singleShot(kAfterClearingMs, Qt::PreciseTimer, this, [this] {
            if (m_phase == Phase::Held && !m_stopping && !m_discoveryTimer.isActive())
                m_discoveryTimer.start();
        });
    else
        m_discoveryTimer.start();
    std::vector<Held> held;
    held.swap(m_heldCommands);
    for (const Held& command : held)
        onMessage(command.topic, command.payload, command.retained);
}

void MqttFront::yieldSite(const QJsonObject& claim) {
    m_phase = Phase::Yielded;
    m_phaseTimer.stop();
    m_discoveryTimer.stop();
    m_heldCommands.clear();
    emit siteHeldElsewhere(
        QStringLiteral("site %1 is held on the broker by the gateway on %2 (process %3, started "
                       "%4); stop that one, or give this one another site name")
            .arg(m_topics.site, claim.value(QStringLiteral("host")).toString())
            .arg(claim.value(QStringLiteral("pid")).toInteger())
            .arg(claim.value(QStringLiteral("started")).toString()));
}

QByteArray MqttFront::claimRecord() const {
    return compact(QJsonObject{{"host", m_host},
                               {"pid", QCoreApplication::applicationPid()},
                               {"started", isoTime(m_started)},
                               {"client_id", m_clientId}});
}

bool MqttFront::claimIsOurs(const QJsonObject& claim) const {
    return claim.value(QStringLiteral("client_id")).toString() == m_clientId;
}

// A rival's claim while this gateway claims or holds the site: the one started first keeps it
// (then the smaller client id), so both sides reach the same verdict.
void MqttFront::onClaim(const QByteArray& payload, bool retained) {
    const QJsonObject claim = QJsonDocument::fromJson(payload).object();
    if (m_phase == Phase::Settling || m_phase == Phase::Offline) {
        m_claim = claim;
        return;
    }
    if ((m_phase != Phase::Confirming && m_phase != Phase::Held) || claim.isEmpty() ||
        claimIsOurs(claim) || (retained && m_phase == Phase::Held))
        return;
    const auto key = [](const QString& started, const QString& id) {
        return std::make_pair(started, id);
    };
    const bool weWin = key(isoTime(m_started), m_clientId) <
                       key(claim.value(QStringLiteral("started")).toString(),
                           claim.value(QStringLiteral("client_id")).toString());
    if (weWin)
        m_client.publish(m_topics.gateway(QStringLiteral("claim")), claimRecord(), true);
    else
        yieldSite(claim);
}

// Availability and, once the projector has answered, its state. A projector that stops
// answering keeps its last state (and that state's time); only its availability changes.
void MqttFront::publishProjector(int index) {
    const ProjectorConfig& projector = m_gateway.projector(index);
    const ProjectorState& state = m_gateway.state(index);
    if (state.available)
        m_knownStates[size_t(index)] = compact(stateJson(projector, state));
    if (m_phase != Phase::Held || m_stopping)
        return;
    const int available = state.available ? 1 : 0;
    if (m_published[size_t(index)] != available &&
        m_client.publish(m_topics.of(projector.name, QStringLiteral("availability")),
                         available ? "online" : "offline", true))
        m_published[size_t(index)] = available;
    if (state.available)
        m_client.publish(m_topics.of(projector.name, QStringLiteral("state")),
                         m_knownStates[size_t(index)], true);
    int online = 0;
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        online += m_gateway.state(i).available ? 1 : 0;
    if (online != m_onlinePublished && m_lastPoll.isValid())
        publishGatewayState();
}

void MqttFront::publishGatewayState() {
    if (m_phase != Phase::Held || m_stopping)
        return;
    int online = 0;
    for (int i = 0; i < m_gateway.projectorCount(); ++i)
        online += m_gateway.state(i).available ? 1 : 0;
    if (m_client.publish(m_topics.gateway(QStringLiteral("state")),
                         compact(QJsonObject{{"projectors", m_gateway.projectorCount()},
                                             {"projectors_online", online},
                                             {"last_poll", isoTime(m_lastPoll)},
                                             {"version", m_look.version},
                                             {"host", m_host},
                                             {"started", isoTime(m_started)}}),
                         true)) {
        m_onlinePublished = online;
        m_lastPollPublished = m_lastPoll;
    }
}

// A batch per tick, so that a large site's configs never pile up in the client's queue.
void MqttFront::stepDiscovery() {
    if (m_phase != Phase::Held || m_stopping) {
        m_discoveryTimer.stop();
        return;
    }
    const int end = std::min<int>(m_discoveryNext + kDiscoveryBatch, int(m_configs.size()));
    for (; m_discoveryNext < end; ++m_discoveryNext) {
        const DiscoveryConfig& config = m_configs[m_discoveryNext];
        if (!m_client.publish(config.topic, config.payload, true))
            break; // the connection went; the next connect starts over
    }
    if (m_discoveryNext >= m_configs.size())
        m_discoveryTimer.stop();
}

void MqttFront::onBirth() {
    if (m_discoveryTimer.isActive() ||
        (m_sinceBirthRepublish.isValid() && m_sinceBirthRepublish.elapsed() < kBirthWindowMs))
        return;
    m_sinceBirthRepublish.start();
    m_discoveryNext = 0;
    m_discoveryTimer.start();
}

// A retained topic of this site that no projector of this start owns is what a removed one (or
// an earlier version) left behind; a discovery config only if a gateway of this site made it.
void MqttFront::noteLeftOver(const QString& topic, const QByteArray& payload, bool discovery) {
    if (payload.isEmpty() || m_ours.contains(topic) ||
        (discovery && !isSiteConfig(m_topics, payload)))
        return;
    if (m_phase == Phase::Held)
        m_client.publish(topic, QByteArray(), true);
    else
        m_leftOvers.insert(topic);
}

void MqttFront::onMessage(const QString& topic, const QByteArray& payload, bool retained) {
    if (m_phase == Phase::Yielded || m_stopping)
        return;
    if (topic == m_topics.gateway(QStringLiteral("claim"))) {
        onClaim(payload, retained);
        return;
    }
    if (topic == m_topics.gatewayAvailability()) {
        m_availability = payload;
        // Someone else's will (a rival that lost and died) must not mark this gateway away.
        if (m_phase == Phase::Held && payload != "online")
            m_client.publish(topic, "online", true);
        return;
    }
    if (topic == m_topics.haStatus()) {
        if (payload == "online" && m_phase == Phase::Held)
            onBirth();
        return;
    }
    if (!topic.startsWith(m_topics.root())) {
        if (retained)
            noteLeftOver(topic, payload, true);
        return;
    }
    const QString rest = topic.mid(m_topics.root().size());
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash <= 0)
        return;
    const QString name = rest.left(slash);
    const QString leaf = rest.mid(slash + 1);
    if (leaf == QLatin1String("state") || leaf == QLatin1String("availability")) {
        if (retained)
            noteLeftOver(topic, payload, false);
        return;
    }
    if (m_phase != Phase::Held) {
        if (int(m_heldCommands.size()) < kHeldCommands)
            m_heldCommands.push_back({topic, payload, retained});
        return;
    }
    const int index = m_gateway.indexOf(name);
    if (index < 0) {
        refuse(-1, topic, payload, QStringLiteral("the site has no projector \"%1\"").arg(name));
        return;
    }
    // A command left retained on the broker would run again at every start.
    if (retained) {
        refuse(index, topic, payload,
               QStringLiteral("a retained command is not carried out; publish it without retain"));
        return;
    }
    onCommand(index, leaf, payload);
}

void MqttFront::onCommand(int index, const QString& leaf, const QByteArray& payload) {
    const QString topic = m_topics.of(m_gateway.projector(index).name, leaf);
    if (payload.size() > kMaxPayload) {
        refuse(index, topic, payload,
               QStringLiteral("the payload is over %1 bytes").arg(kMaxPayload));
        return;
    }
    ProjectorCommand command;
    if (leaf == QLatin1String("set/power")) {
        const std::optional<bool> on = CommandPayload::power(payload);
        if (!on) {
            refuse(index, topic, payload, QStringLiteral("set/power takes on or off"));
            return;
        }
        command = ProjectorCommand::power(*on);
    } else if (leaf == QLatin1String("set/input")) {
        const std::optional<int> input = CommandPayload::input(payload);
        if (!input) {
            refuse(index, topic, payload, QStringLiteral("set/input takes 1, 2, 3 or 4"));
            return;
        }
        command = *ProjectorCommand::input(*input);
    } else if (leaf == QLatin1String("send")) {
        // The command's text as typed in the console: one byte per character, Latin-1.
        CommandPayload::TextError error;
        QString why;
        const auto typed = CommandPayload::text(payload, &error, &why);
        if (!typed) {
            refuse(index, topic, payload,
                   error == CommandPayload::TextError::NotCommand
                       ? QStringLiteral("send: %1; nothing was sent").arg(why)
                       : QStringLiteral("send takes a command's text in UTF-8"));
            return;
        }
        command = *typed;
    } else {
        refuse(index, topic, payload, QStringLiteral("unknown command topic \"%1\"").arg(leaf));
        return;
    }
    const ProjectorConfig projector = m_gateway.projector(index);
    const bool wantsReply = leaf == QLatin1String("send");
    m_gateway.sendFrom(AuditOrigin{QStringLiteral("mqtt"), topic, payload}, index, command,
                       [this, topic, payload, projector, wantsReply](const Exchange& exchange) {
                           const bool wentOut = exchange.status != Exchange::Status::Failed &&
                                                exchange.status != Exchange::Status::Busy;
                           if (wantsReply && wentOut) {
                               m_client.publish(
                                   m_topics.of(projector.name, QStringLiteral("reply")),
                                   compact(exchangeJson(projector.name, projector.target,
                                                        projector.address, exchange)),
                                   false);
                               return;
                           }
                           if (exchange.status != Exchange::Status::Ok)
                               publishError(projector.name, topic, payload, exchange.error);
                       });
}

void MqttFront::refuse(int index, const QString& topic, const QByteArray& payload,
                       const QString& why) {
    // The command is what follows the projector's name: set/power, send, …
    const QString rest = topic.mid(m_topics.root().size());
    m_gateway.audit().refused(AuditOrigin{QStringLiteral("mqtt"), topic, payload},
                              index < 0 ? QString() : m_gateway.projector(index).name,
                              rest.section(QLatin1Char('/'), 1), why);
    publishError(index < 0 ? QString() : m_gateway.projector(index).name, topic, payload, why);
}

void MqttFront::publishError(const QString& name, const QString& topic, const QByteArray& payload,
                             const QString& why) {
    const QString errorTopic = name.isEmpty() ? m_topics.gateway(QStringLiteral("error"))
                                              : m_topics.of(name, QStringLiteral("error"));
    m_client.publish(
        errorTopic,
        compact(QJsonObject{{"topic", topic}, {"payload", shown(payload)}, {"error", why}}), false);
}

} // namespace tavo::gateway
