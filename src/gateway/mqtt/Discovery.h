#pragma once

#include "SiteConfig.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tavo::gateway {

// The topics of one site under tavo/SITE/.
struct SiteTopics {
    QString site;
    QString base() const { return QStringLiteral("tavo/%1/").arg(site); }
    QString of(const QString& projector, const QString& leaf) const {
        return base() + projector + QLatin1Char('/') + leaf;
    }
    QString gatewayAvailability() const { return base() + QStringLiteral("gateway/availability"); }
};

// One retained Home Assistant discovery message.
struct DiscoveryConfig {
    QString topic; // homeassistant/<component>/tavo_SITE/<PROJECTOR>_<object>/config
    QByteArray payload;
};

// Home Assistant's entities for one projector: one device with a power switch, an input
// select, lamp hours and three temperatures, a reachable sensor and problem sensors for lamp,
// temperature and power, each available while both the gateway and the projector are.
QList<DiscoveryConfig> discoveryConfigs(const SiteTopics& topics, const ProjectorConfig& projector);

// The node of the site's discovery topics, and the filter that finds them all.
QString discoveryNode(const QString& site);
QString discoveryFilter(const QString& site);

} // namespace tavo::gateway
