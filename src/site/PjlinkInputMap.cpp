#include "PjlinkInputMap.h"

#include "StatusReads.h"

#include <QStringList>

#include <algorithm>

namespace tavo::site {
namespace {

bool isCode(const QByteArray& code) {
    return code.size() == 2 && code[0] >= '1' && code[0] <= '5' && code[1] >= '1' && code[1] <= '9';
}

void sortByCode(QList<PjlinkInputMap::Entry>& entries) {
    std::sort(entries.begin(), entries.end(),
              [](const PjlinkInputMap::Entry& a, const PjlinkInputMap::Entry& b) {
                  return a.code < b.code;
              });
}

} // namespace

PjlinkInputMap PjlinkInputMap::defaults() {
    PjlinkInputMap map;
    map.m_entries = {{1, "11"}, {2, "12"}, {3, "21"}, {4, "51"}, {5, "52"}};
    return map;
}

std::optional<PjlinkInputMap> PjlinkInputMap::parse(const QString& text, QString* error) {
    if (text.trimmed().isEmpty())
        return defaults();
    PjlinkInputMap map;
    const auto fail = [error](const QString& why) -> std::optional<PjlinkInputMap> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList sides = item.split(QLatin1Char('='));
        bool ok = false;
        const int input = sides.size() == 2 ? sides[0].trimmed().toInt(&ok) : 0;
        const QByteArray code = sides.size() == 2 ? sides[1].trimmed().toLatin1() : QByteArray();
        if (!ok || input < 1 || input > inputCount() || !isCode(code))
            return fail(QStringLiteral("\"%1\" is not INPUT=CODE with an input 1 "
                                       "to %2 and a PJLink code 11 to 59")
                            .arg(item.trimmed())
                            .arg(inputCount()));
        for (const Entry& e : map.m_entries) {
            if (e.input == input || e.code == code)
                return fail(QStringLiteral("input %1 or code %2 is given twice")
                                .arg(input)
                                .arg(QString::fromLatin1(code)));
        }
        map.m_entries.append({input, code});
    }
    sortByCode(map.m_entries);
    return map;
}

std::optional<QByteArray> PjlinkInputMap::codeOf(int input) const {
    for (const Entry& e : m_entries) {
        if (e.input == input)
            return e.code;
    }
    return std::nullopt;
}

int PjlinkInputMap::inputOf(const QByteArray& code) const {
    for (const Entry& e : m_entries) {
        if (e.code == code)
            return e.input;
    }
    return 0;
}

} // namespace tavo::site
