#include "Plan.h"

#include "PortMap.h"
#include "SettingsStore.h"
#include "StoredNumber.h"

#include "SiteReader.h"
#include "SiteRules.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <limits>

namespace tavo::ctl {
namespace {

Plan failed(const QString& message, int status = 2) {
    Plan plan;
    plan.error = message;
    plan.errorStatus = status;
    return plan;
}

} // namespace

std::optional<int> comPortNumber(const QString& target) {
    static const QRegularExpression com(
        QRegularExpression::anchoredPattern(QStringLiteral("COM(\\d{1,2})")),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(target);
    if (!match.hasMatch())
        return std::nullopt;
    const int n = match.captured(1).toInt();
    if (n < 1 || n > 15)
        return std::nullopt;
    return n;
}

ConsoleDefaults readConsoleDefaults(const SettingsStore& store) {
    ConsoleDefaults defaults;
    const double port = leadingNumber(store.read(keys::ComPort, QStringLiteral("DATAC")));
    const qint64 number = roundedInRange(port, std::numeric_limits<qint16>::min(),
                                         std::numeric_limits<qint16>::max(), 0);
    if (number >= 1 && number <= 15)
        defaults.port = QStringLiteral("COM%1").arg(number);
    const double baud = leadingNumber(store.read(keys::BaudRate, QStringLiteral("DATAb")));
    defaults.baud = roundedInRange(baud, 0, 255, 0) == 96 ? 9600 : 19200;
    defaults.address = addressWordForStored(store.read(keys::Address, QStringLiteral("DATAD")));
    return defaults;
}

Plan planRun(const Invocation& inv, const ConsoleDefaults& defaults,
             const QString& consoleSettingsPath) {
    // Flags first, then what the console has stored.
    ProjectorEntry fallback;
    fallback.target = inv.port.value_or(defaults.port.value_or(QString()));
    fallback.baud = inv.baud.value_or(defaults.baud);
    fallback.address = inv.address.value_or(defaults.address);

    QHash<int, QString> comDevices; // each COMn is looked up in the console's settings once
    const auto deviceOf = [&](const QString& target) {
        const auto n = comPortNumber(target);
        if (!n)
            return target;
        auto device = comDevices.find(*n);
        if (device == comDevices.end())
            device = comDevices.insert(*n, deviceForPort(*n, consoleSettingsPath));
        return *device;
    };

    QList<ProjectorEntry> wanted;
    if (inv.siteFile.isEmpty()) {
        wanted << fallback;
    } else {
        // The reader the gateway uses, so both refuse the same files in the same words; the
        // flags and stored settings fill what a section leaves out.
        site::SiteDefaults defaults;
        defaults.port = fallback.target;
        defaults.baud = fallback.baud;
        defaults.address = fallback.address;
        defaults.deviceOf = deviceOf;
        const site::SiteProjectors read = site::readSite(inv.siteFile, defaults);
        if (!read.projectors)
            return failed(QStringLiteral("site file ") + read.error);
        const QList<site::SiteProjector>& sections = *read.projectors;
        QHash<QString, qsizetype> byName;
        byName.reserve(sections.size());
        for (qsizetype i = 0; i < sections.size(); ++i)
            byName.insert(sections[i].name, i);

        QList<qsizetype> chosen;
        if (inv.all) {
            chosen.reserve(sections.size());
            for (qsizetype i = 0; i < sections.size(); ++i)
                chosen << i;
        } else {
            QSet<QString> taken;
            for (const QString& name : inv.names) {
                const auto found = byName.constFind(name);
                if (found == byName.constEnd())
                    return failed(QStringLiteral("site file %1 has no projector \"%2\"")
                                      .arg(inv.siteFile, name));
                if (taken.contains(name))
                    return failed(QStringLiteral("projector \"%1\" is named twice").arg(name));
                taken.insert(name);
                chosen << *found;
            }
        }
        wanted.reserve(chosen.size());
        for (const qsizetype index : chosen) {
            const site::SiteProjector& p = sections[index];
            ProjectorEntry entry;
            entry.name = p.name;
            entry.target = p.target;
            entry.baud = p.baud;
            entry.address = p.address;
            entry.room = p.room;
            wanted << entry;
        }
    }

    Plan plan;
    plan.projectors.reserve(wanted.size());
    for (ProjectorEntry entry : wanted) {
        const QString who =
            entry.name.isEmpty() ? QString() : QStringLiteral("[%1] ").arg(entry.name);
        if (entry.target.isEmpty())
            return failed(who + QStringLiteral("no port: give --port TARGET, or choose one in "
                                               "the console first"));
        const QString problem = site::portProblem(entry.target);
        if (!problem.isEmpty())
            return failed(who + problem);
        entry.device = deviceOf(entry.target);
        plan.projectors << entry;
    }
    return plan;
}

} // namespace tavo::ctl
