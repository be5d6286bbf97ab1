#pragma once

#include "SiteConfig.h"

#include <optional>

namespace tavo::gateway {

struct SiteLoad {
    std::optional<SiteConfig> site;
    QString error; // one line naming the file and the line
};

// Reads and checks a site file for the gateway; `siteName` empty means the file's base name
// without extension. The same file serves mx7300-ctl --site.
SiteLoad loadSite(const QString& path, const QString& siteName);

} // namespace tavo::gateway
