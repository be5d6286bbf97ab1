#pragma once

#include "SiteConfig.h"

#include <optional>

namespace tavo::gateway {

struct SiteLoad {
    std::optional<SiteConfig> site;
    QString error; // one line naming the file and the line
};

// Reads and checks a site file for the gateway; `siteName` empty means the file's base name
// without extension. The same file serves mx7300-ctl --site. Every value is checked here, so
// --check refuses what a start would: with `pjlinkBasePort` (--pjlink's first port) the PJLink
// ports the projectors without their own pjlink_port take from it are checked too.
SiteLoad loadSite(const QString& path, const QString& siteName,
                  std::optional<int> pjlinkBasePort = std::nullopt);

} // namespace tavo::gateway
