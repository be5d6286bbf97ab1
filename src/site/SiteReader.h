#pragma once

#include "SiteProjector.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tavo::site {

// What fills a section's gaps: the gateway leaves port empty (every section names its own), a
// command-line run gives its flags and the console's stored settings.
struct SiteDefaults {
    QString port;
    int baud = 19200;
    QString address = QStringLiteral("single");
    // What a target opens, so that two names of one wire (COM2 and the device behind it) share
    // its speed; empty: the target itself.
    std::function<QString(const QString& target)> deviceOf;
};

struct SiteProjectors {
    std::optional<QList<SiteProjector>> projectors; // in file order, never empty
    QString error; // one line, "FILE:LINE: reason" (or "FILE: reason" for the whole file)
};

// The one reading of a site file that mx7300-ctl and mx7300-gateway share: every section is
// checked, chosen or not, so both programs refuse the same files with the same words.
SiteProjectors readSite(const QString& path, const SiteDefaults& defaults = {});

// The same on text already read; `path` only names the file in the error.
SiteProjectors readSiteText(const QString& path, const QByteArray& text,
                            const SiteDefaults& defaults = {});

} // namespace tavo::site
