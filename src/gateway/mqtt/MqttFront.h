#pragma once

#include "Discovery.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <vector>

namespace tavo {
class MqttClient;
}

namespace tavo::gateway {

class Gateway;
struct SiteChange;

// The site on MQTT: retained availability and state for every projector, Home Assistant's
// discovery, and the commands set/power, set/input and send, answered on reply or error. It
// translates between topics and the gateway; it never talks to a port.
//
// One gateway holds a site on a broker at a time. After each connect it reads the site's
// retained claim (host, process, start time) and the gateway's availability; a claim by another
// gateway that is online makes this one yield without publishing anything. Otherwise it claims
// the site, waits a moment for a rival's claim (the one started first keeps the site), and only
// then publishes, clears left-overs and takes commands.
class MqttFront : public QObject {
    Q_OBJECT

public:
    // Payloads longer than this are refused unread.
    static constexpr int kMaxPayload = 256;
    // Known states are published again this often, with a fresh `updated`.
    static constexpr int kRepublishMs = 5 * 60 * 1000;
    // After connecting: how long retained records have to arrive, then how long a rival's claim
    // has to show up before the site is taken.
    static constexpr int kClaimSettleMs = 1000;
    static constexpr int kClaimConfirmMs = 1000;
    // Home Assistant's births within this time of the republish one of them caused, or while a
    // republish is under way, are answered by that republish.
    static constexpr int kBirthWindowMs = 10000;
    // Discovery configs go out this many at a time, one batch per tick.
    static constexpr int kDiscoveryBatch = 20;
    static constexpr int kDiscoveryTickMs = 50;
    // After clearing left-overs, the pause before the configs go out: time for Home Assistant
    // to remove the old entities and free their entity ids.
    static constexpr int kAfterClearingMs = 2000;
    // The gateway's own state (projectors online, last poll) at most this often.
    static constexpr int kGatewayStateMs = 10000;
    // Commands that arrive before the site is held wait for it, up to this many.
    static constexpr int kHeldCommands = 64;

    struct Options {
        SiteTopics topics; // the site's name is filled in from the gateway
        DiscoveryLook look;
        QString host;     // in the claim
        QString clientId; // this run's, in the claim
    };

    MqttFront(Gateway& gateway, MqttClient& client, Options options, QObject* parent = nullptr);

    // A client id of its own for every run: the site, the host and a random part.
    static QString clientIdFor(const QString& site, const QString& host);

    // Subscribes; everything is published once the site is held, again on each reconnect.
    void start();
    // A clean stop: offline for every projector and the gateway, then the client stops. A
    // gateway that does not hold the site leaves without publishing anything.
    void stop();
    QString gatewayAvailabilityTopic() const { return m_topics.gatewayAvailability(); }

signals:
    // Another live gateway holds the site. Nothing more is published; the caller stops.
    void siteHeldElsewhere(const QString& why);

private:
    enum class Phase { Offline, Settling, Confirming, Held, Yielded };
    struct Held {
        QString topic;
        QByteArray payload;
        bool retained;
    };

    void onConnected();
    void onSettled();
    void takeSite();
    void yieldSite(const QJsonObject& claim);
    void onClaim(const QByteArray& payload, bool retained);
    QByteArray claimRecord() const;
    bool claimIsOurs(const QJsonObject& claim) const;

    void publishProjector(int index);
    void publishGatewayState();
    void stepDiscovery();
    void onBirth();
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    void onCommand(int index, const QString& leaf, const QByteArray& payload);
    // Tells the client on the error topic, and the audit log.
    void refuse(int index, const QString& topic, const QByteArray& payload, const QString& why);
    // `name` empty: the gateway's error topic. By name: a reload may move the projector.
    void publishError(const QString& name, const QString& topic, const QByteArray& payload,
                      const QString& why);
    void collectOwned();
    void takeSiteChange(const SiteChange& change);
    void noteLeftOver(const QString& topic, const QByteArray& payload, bool discovery);

    Gateway& m_gateway;
    MqttClient& m_client;
    SiteTopics m_topics;
    DiscoveryLook m_look;
    QString m_host;
    QString m_clientId;
    QDateTime m_started;
    QString m_legacyFilter; // where an earlier version put the site's configs, if elsewhere

    Phase m_phase = Phase::Offline;
    bool m_stopping = false;
    QTimer m_phaseTimer;
    QJsonObject m_claim;       // the latest claim seen since connecting
    QByteArray m_availability; // the gateway's, as last seen since connecting
    QSet<QString> m_leftOvers; // retained topics to clear once the site is held
    std::vector<Held> m_heldCommands;

    QList<DiscoveryConfig> m_configs;
    QSet<QString> m_ours; // the retained topics this start owns
    QTimer m_discoveryTimer;
    int m_discoveryNext = 0;
    QElapsedTimer m_sinceBirthRepublish;

    QTimer m_republish;
    QTimer m_gatewayStateTimer;
    std::vector<int> m_published;          // availability last published: -1 none, 0, 1
    std::vector<QByteArray> m_knownStates; // the latest answered reading of each projector
    QDateTime m_lastPoll;
    QDateTime m_lastPollPublished;
    int m_onlinePublished = -1;
};

} // namespace tavo::gateway
