#include "SiteFile.h"

#include "BoundedFileRead.h"

#include <QHash>
#include <QStringDecoder>

namespace tavo::site {
namespace {

// Names and paths are the user's text: every .arg() here takes them in one pass, so a "%1" in
// them stays as written. The path comes from the command line: keep a hostile one on its one line.
QString shownPath(const QString& path) {
    QString shown = path;
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return shown;
}

SiteRead failed(const QString& path, int line, const QString& reason) {
    SiteRead read;
    read.error = siteError(path, line, reason);
    return read;
}

std::optional<QChar> controlCharacter(const QString& line) {
    for (const QChar c : line) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\t'))
            return c;
    }
    return std::nullopt;
}

QString hex(QChar c) {
    return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString siteError(const QString& path, int line, const QString& reason) {
    return line > 0
               ? QStringLiteral("%1:%2: %3").arg(shownPath(path), QString::number(line), reason)
               : QStringLiteral("%1: %2").arg(shownPath(path), reason);
}

const SiteEntry* SiteSection::entry(const QString& key) const {
    for (const SiteEntry& e : entries) {
        if (e.key == key)
            return &e;
    }
    return nullptr;
}

std::optional<QString> SiteSection::value(const QString& key) const {
    if (const SiteEntry* e = entry(key))
        return e->value;
    return std::nullopt;
}

SiteRead readSiteFile(const QString& path) {
    const BoundedRead read = readRegularFile(path, kMaxSiteFileSize);
    if (!read.ok)
        return failed(path, 0, read.error);
    return parseSiteText(path, read.bytes);
}

SiteRead parseSiteText(const QString& path, const QByteArray& text) {
    QByteArrayView rest(text);
    if (rest.startsWith("\xEF\xBB\xBF")) // a byte order mark, as some editors write
        rest = rest.sliced(3);

    SiteFile site;
    site.path = path;
    QHash<QString, int> sectionLines;
    QHash<QString, int> keyLines; // of the current section
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    bool anyText = false;
    int number = 0;
    while (!rest.isEmpty()) {
        ++number;
        const qsizetype end = rest.indexOf('\n');
        QByteArrayView bytes = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);

        const QString raw = utf8(bytes);
        if (utf8.hasError())
            return failed(path, number, QStringLiteral("is not UTF-8 text"));
        if (const auto c = controlCharacter(raw))
            return failed(path, number,
                          QStringLiteral("holds the control character %1").arg(hex(*c)));
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        anyText = true;
        if (line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;

        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return failed(path, number,
                              QStringLiteral("the section name has no closing \"]\""));
            const QString name = line.mid(1, line.size() - 2);
            if (name.isEmpty())
                return failed(path, number, QStringLiteral("the section has no name"));
            if (name != name.trimmed())
                return failed(path, number,
                              QStringLiteral("the section name \"%1\" begins or ends with a space")
                                  .arg(name));
            const auto first = sectionLines.constFind(name);
            if (first != sectionLines.constEnd())
                return failed(path, number,
                              QStringLiteral("[%1] again (first at line %2)")
                                  .arg(name, QString::number(*first)));
            sectionLines.insert(name, number);
            keyLines.clear();
            site.sections.append(SiteSection{name, number, {}});
            continue;
        }

        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return failed(path, number,
                          QStringLiteral("is neither [NAME], key=value nor a comment"));
        const QString key = line.left(equals).trimmed();
        QString value = line.mid(equals + 1).trimmed();
        if (key.isEmpty())
            return failed(path, number, QStringLiteral("has a value but no key"));
        if (site.sections.isEmpty())
            return failed(path, number,
                          QStringLiteral("\"%1\" stands outside any [NAME] section").arg(key));
        if (value.startsWith(QLatin1Char('"'))) {
            if (value.size() < 2 || !value.endsWith(QLatin1Char('"')))
                return failed(path, number,
                              QStringLiteral("the quote that opens the value of \"%1\" is not "
                                             "closed")
                                  .arg(key));
            value = value.mid(1, value.size() - 2);
        }
        SiteSection& section = site.sections.last();
        const auto first = keyLines.constFind(key);
        if (first != keyLines.constEnd())
            return failed(path, number,
                          QStringLiteral("[%1] has \"%2\" again (first at line %3)")
                              .arg(section.name, key, QString::number(*first)));
        keyLines.insert(key, number);
        section.entries.append(SiteEntry{key, value, number});
    }
    if (!anyText)
        return failed(path, 0, QStringLiteral("is empty"));
    if (site.sections.isEmpty())
        return failed(path, 0, QStringLiteral("names no projector (no [NAME] section)"));
    SiteRead read;
    read.site = std::move(site);
    return read;
}

} // namespace tavo::site
