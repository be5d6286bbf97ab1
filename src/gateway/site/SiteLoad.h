#pragma once

#include "SiteConfig.h"

#include <optional>

namespace tavo::gateway {

struct SiteLoad {
    std::optional<SiteConfig> site;
    QString error; // one line naming the file and the line
};

// Reads a site file with the reader mx7300-ctl --site uses (site::readSite), then the gateway's
// own checks: the site's name (`siteName`, empty: the file's base name without extension) and,
// with `pjlinkBasePort` (--pjlink's first port), the PJLink ports the projectors without their
// own pjlink_port take from it. --check refuses what a start would.
SiteLoad loadSite(const QString& path, const QString& siteName,
                  std::optional<int> pjlinkBasePort = std::nullopt);

} // namespace tavo::gateway
