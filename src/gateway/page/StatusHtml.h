#pragma once

#include "ProjectorState.h"
#include "SiteConfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

namespace tavo::gateway::page {

// One projector as the status page shows it.
struct StatusRow {
    ProjectorConfig config;
    ProjectorState state;
    bool portOpen = false;
};

// "online", "offline" (no answer to its latest power read) or "port not open"; page.js says
// the same from the JSON.
QString availabilityWord(const StatusRow& row);
// From the section's lamp_warn_hours on, as PJLink's ERST reports the lamp.
bool lampWarning(const StatusRow& row);

// The site's page: one section per room in site-file order, a row per projector. Every value
// from the site file or the line is escaped; `writable` adds the token field and the buttons.
QByteArray statusPageHtml(const QString& site, const QList<StatusRow>& rows, bool writable,
                          const QDateTime& now);

// A short page after a form post: a heading and lines of text, with the way back.
QByteArray resultPageHtml(const QString& heading, const QStringList& lines);

// `text` with each {{name}} replaced by values[name] in one pass, so a value that holds
// "{{…}}" stays as it is. Unknown names are left out.
QString fillTemplate(const QString& text, const QHash<QString, QString>& values);

} // namespace tavo::gateway::page
