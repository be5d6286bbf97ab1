#pragma once

#include "SiteConfig.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tavo::gateway {

// The topics of one site under BASE/SITE/ (BASE is tavo unless --mqtt-base says otherwise) and
// Home Assistant's discovery prefix.
struct SiteTopics {
    QString base = QStringLiteral("tavo");
    QString site;
    QString haPrefix = QStringLiteral("homeassistant");

    QString root() const { return base + QLatin1Char('/') + site + QLatin1Char('/'); }
    QString of(const QString& projector, const QString& leaf) const {
        return root() + projector + QLatin1Char('/') + leaf;
    }
    QString gateway(const QString& leaf) const {
        return root() + QStringLiteral("gateway/") + leaf;
    }
    QString gatewayAvailability() const { return gateway(QStringLiteral("availability")); }
    QString haStatus() const { return haPrefix + QStringLiteral("/status"); }
};

// How the site looks in Home Assistant beyond its topics.
struct DiscoveryLook {
    QString areaPrefix; // put before every room in the suggested area; empty: the room alone
    QString statusUrl;  // the gateway's status page, when it serves one
    QString version;    // the gateway's own
};

// One retained Home Assistant discovery message.
struct DiscoveryConfig {
    QString topic; // PREFIX/<component>/<node>/<projector>_<object>/config
    QByteArray payload;
};

// A name as a part of an identifier: '-' becomes "--", '_' becomes "-_" and '/' becomes "-s", so
// an unescaped '_' only ever separates parts, and two different lists of names never join to
// the same identifier. Home Assistant's entity ids drop the escapes again ("-_" and "--" both
// end as '_'), which keeps them as they were before names were escaped.
QString idPart(const QString& name);

// The site's node in discovery topics and the root of every identifier: "tavo_SITE".
QString discoveryNode(const SiteTopics& topics);
QString discoveryFilter(const SiteTopics& topics);

// Home Assistant's entities for one projector: a device, via the gateway's, with a power switch,
// an input select, lamp hours, three temperatures, a lamp-replacement-due sensor and diagnostic
// sensors (reachable, lamp, temperature and power problems). Each is available while both the
// gateway and the projector are, except reachable, which says itself when the projector is not.
QList<DiscoveryConfig> projectorConfigs(const SiteTopics& topics, const DiscoveryLook& look,
                                        const ProjectorConfig& projector);

// The gateway's own device: connected, projectors online, last poll and version, all diagnostic.
QList<DiscoveryConfig> gatewayConfigs(const SiteTopics& topics, const DiscoveryLook& look);

// Whether a retained discovery config was published by a gateway of this site (this version or
// an earlier one): its availability names the site's gateway availability topic.
bool isSiteConfig(const SiteTopics& topics, const QByteArray& payload);

} // namespace tavo::gateway
