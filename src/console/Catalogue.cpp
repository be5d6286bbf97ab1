#include "Catalogue.h"

#include "CatalogueText.h"

#include <QFile>

namespace tavo::catalogue {
namespace {

// Read on first use, which is the console's first open: the panel never needs it.
const CatalogueText& lists() {
    static const CatalogueText text = [] {
        QFile file(QStringLiteral(":/tavo/catalogue.txt"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("command catalogue resource missing: %s", qPrintable(file.errorString()));
        CatalogueText parsed = parseCatalogueText(file.readAll());
        if (!parsed.error.isEmpty())
            qFatal("command catalogue: %s", qPrintable(parsed.error));
        return parsed;
    }();
    return text;
}

const QList<QByteArray>& entries(List list) {
    return lists().lists[size_t(list)];
}

} // namespace

int entryCount(List list) {
    return int(entries(list).size());
}

const QByteArray& entry(List list, int row) {
    return entries(list).at(row);
}

QByteArray commandText(const QByteArray& entry) {
    const qsizetype bracket = entry.indexOf('[');
    return bracket < 0 ? entry : entry.left(bracket);
}

bool hasParameter(const QByteArray& entry) {
    return entry.contains('%');
}

} // namespace tavo::catalogue
