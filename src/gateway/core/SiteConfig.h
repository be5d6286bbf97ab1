#pragma once

#include "SiteProjector.h"

#include <QList>
#include <QString>

namespace tavo::gateway {

// One projector of the site, as the shared site reader gives it.
using ProjectorConfig = site::SiteProjector;

struct SiteConfig {
    QString name; // [A-Za-z0-9_-]+
    QString path;
    QList<ProjectorConfig> projectors;
};

} // namespace tavo::gateway
