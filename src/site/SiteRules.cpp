#include "SiteRules.h"

#include <QHash>
#include <QRegularExpression>

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

bool isPlainName(const QString& name) {
    // The whole string: "$" alone would also match before a final newline.
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_-]+")));
    return plain.match(name).hasMatch();
}

QString portProblem(const QString& target) {
    if (target.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) &&
        !target.contains(QLatin1Char('/'))) {
        static const QRegularExpression com(
            QRegularExpression::anchoredPattern(QStringLiteral("COM(\\d{1,2})")),
            QRegularExpression::CaseInsensitiveOption);
        const auto match = com.match(target);
        const int n = match.hasMatch() ? match.captured(1).toInt() : 0;
        return n >= 1 && n <= 15 ? QString()
                                 : QStringLiteral("\"%1\" is no port COM1 to COM15").arg(target);
    }
    static const QRegularExpression network(
        QRegularExpression::anchoredPattern(QStringLiteral("(tcp|rfc2217)://(.+):(\\d{1,5})")),
        QRegularExpression::CaseInsensitiveOption);
    if (target.contains(QLatin1String("://"))) {
        const auto match = network.match(target);
        if (!match.hasMatch() || match.captured(3).toInt() < 1 || match.captured(3).toInt() > 65535)
            return QStringLiteral("\"%1\" is not tcp://HOST:PORT or rfc2217://HOST:PORT")
                .arg(target);
    }
    return {};
}

} // namespace tavo::site
