#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tavo::site {

// A site file is plain text, one projector a section:
//   ; or # starts a comment line; blank lines are ignored
//   [NAME]        the projector's name, exactly as written ("/" and "%" are ordinary letters)
//   key = value   trimmed; a value may be wrapped in double quotes, taken literally between them
// Anything else is refused rather than guessed at.
constexpr qint64 kMaxSiteFileSize = 1024 * 1024;

struct SiteEntry {
    QString key;
    QString value;
    int line = 0;
};

struct SiteSection {
    QString name;
    int line = 0;
    QList<SiteEntry> entries;

    std::optional<QString> value(const QString& key) const;
    const SiteEntry* entry(const QString& key) const;
};

struct SiteFile {
    QString path;
    QList<SiteSection> sections; // in file order, never empty
};

struct SiteRead {
    std::optional<SiteFile> site;
    QString error; // one line, "FILE:LINE: reason" (or "FILE: reason" for the whole file)
};

// Reads and checks the site file at `path`: only a regular file of at most kMaxSiteFileSize bytes.
SiteRead readSiteFile(const QString& path);

// The same checks on text already read; `path` only names the file in the error.
SiteRead parseSiteText(const QString& path, const QByteArray& text);

// "FILE:LINE: reason", or "FILE: reason" for line 0, with control characters in the path shown
// as "?" so the message stays on one line.
QString siteError(const QString& path, int line, const QString& reason);

} // namespace tavo::site
