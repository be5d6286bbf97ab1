#include "SiteRules.h"

#include <QHash>

namespace tavo::site {

std::optional<QList<int>> baudRates(const SiteFile& site, int defaultBaud,
                                    const std::function<QString(const SiteSection&)>& portOf,
                                    QString* error) {
    const QString key = QStringLiteral("baud");
    QList<int> rates;
    rates.reserve(site.sections.size());
    QHash<QString, qsizetype> firstOnPort;
    for (const SiteSection& section : site.sections) {
        const SiteEntry* entry = section.entry(key);
        const int line = entry ? entry->line : section.line;
        int baud = defaultBaud;
        if (entry) {
            if (entry->value != QLatin1String("9600") && entry->value != QLatin1String("19200")) {
                *error =
                    siteError(site.path, line,
                              QStringLiteral("[%1] baud must be 9600 or 19200").arg(section.name));
                return std::nullopt;
            }
            baud = entry->value.toInt();
        }
        const QString port = portOf(section);
        if (!port.isEmpty()) {
            const auto first = firstOnPort.constFind(port);
            if (first == firstOnPort.constEnd()) {
                firstOnPort.insert(port, rates.size());
            } else if (rates[*first] != baud) {
                const SiteSection& other = site.sections[*first];
                *error = siteError(
                    site.path, line,
                    QStringLiteral("[%1] is on %2 at a different baud rate (%3) from [%4] at "
                                   "line %5 (%6); projectors on one port share its speed")
                        .arg(section.name, port, QString::number(baud), other.name,
                             QString::number(other.line), QString::number(rates[*first])));
                return std::nullopt;
            }
        }
        rates << baud;
    }
    return rates;
}

} // namespace tavo::site
