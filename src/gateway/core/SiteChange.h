#pragma once

#include "SiteConfig.h"

#include <QStringList>

#include <vector>

namespace tavo::gateway {

// What a reload of the site file does to the running site. A projector is kept when its section
// is there under the same name with every value the same (its place in the file may move);
// any other value changed makes it removed and added again, so that every front that derived
// something from the old section (port, lock, discovery, PJLink password) starts afresh.
struct SiteChange {
    // For each projector of the new site: its index in the old one, -1 when it is added.
    std::vector<int> oldIndex;
    QList<ProjectorConfig> removed; // of the old site, in its order
    QStringList added, kept;        // names, in the new site's order

    bool isEmpty() const { return removed.isEmpty() && added.isEmpty(); }
    // "added a, b; removed c; kept d" for the log.
    QString summary() const;
};

SiteChange diffSites(const SiteConfig& before, const SiteConfig& after);

} // namespace tavo::gateway
