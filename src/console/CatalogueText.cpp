#include "CatalogueText.h"

namespace tavo::catalogue {
namespace {

constexpr const char* kHeadings[] = {"[Combo1]", "[Combo2]", "[Combo3]"};

// The entry's bytes, or an error for a line an editor could have changed unseen.
bool unescape(const QByteArray& line, QByteArray* entry, QString* error) {
    if (line.endsWith(' ') || line.endsWith('\t')) {
        *error = QStringLiteral("trailing white space (write \\s)");
        return false;
    }
    entry->clear();
    entry->reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *error = QStringLiteral("control character (use an escape)");
            return false;
        }
        if (c != '\\') {
            entry->append(c);
            continue;
        }
        switch (++i < line.size() ? line.at(i) : '\0') {
        case 't':
            entry->append('\t');
            break;
        case 'r':
            entry->append('\r');
            break;
        case 'n':
            entry->append('\n');
            break;
        case 's':
            entry->append(' ');
            break;
        case '\\':
            entry->append('\\');
            break;
        default:
            *error = QStringLiteral("unknown escape");
            return false;
        }
    }
    return true;
}

} // namespace

CatalogueText parseCatalogueText(const QByteArray& text) {
    CatalogueText result;
    int list = -1;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype number = 0; number < lines.size(); ++number) {
        QByteArray line = lines.at(number);
        // A checkout or an editor on Windows may end lines with CR LF; a CR elsewhere is an error.
        if (line.endsWith('\r'))
            line.chop(1);
        QString why;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && list + 1 < 3 && line == kHeadings[list + 1]) {
            ++list;
            continue;
        }
        QByteArray entry;
        if (list < 0)
            why = QStringLiteral("entry before [Combo1]");
        else if (line.startsWith('[') && line.endsWith(']'))
            why = QStringLiteral("heading out of order");
        else if (unescape(line, &entry, &why))
            result.lists[size_t(list)].append(entry);
        if (!why.isEmpty()) {
            result.error = QStringLiteral("line %1: %2").arg(number + 1).arg(why);
            return result;
        }
    }
    if (list != 2)
        result.error = QStringLiteral("missing %1").arg(QLatin1String(kHeadings[list + 1]));
    return result;
}

} // namespace tavo::catalogue
