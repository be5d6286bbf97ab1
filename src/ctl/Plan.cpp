#include "Plan.h"

#include "PortMap.h"
#include "SettingsStore.h"
#include "StoredNumber.h"

#include "SiteFile.h"
#include "SiteRules.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <limits>

namespace tavo::ctl {
namespace {

const QString kPortKey = QStringLiteral("port");
const QString kBaudKey = QStringLiteral("baud");
const QString kAddressKey = QStringLiteral("address");
const QString kRoomKey = QStringLiteral("room");

Plan failed(const QString& message, int status = 2) {
    Plan plan;
    plan.error = message;
    plan.errorStatus = status;
    return plan;
}

// Syntax only: what the port will do with it is found out when it opens.
QString targetProblem(const QString& target) {
    if (target.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) &&
        !target.contains(QLatin1Char('/'))) {
        return comPortNumber(target)
                   ? QString()
                   : QStringLiteral("\"%1\" is no port COM1 to COM15").arg(target);
    }
    // Any case of the scheme, as the network port reads it.
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

bool knownKey(const QString& key) {
    // The site gateway reads the same files; its keys are no concern of ours.
    static const QSet<QString> known{kPortKey,
                                     kBaudKey,
                                     kAddressKey,
                                     kRoomKey,
                                     QStringLiteral("pjlink_port"),
                                     QStringLiteral("pjlink_password"),
                                     QStringLiteral("pjlink_inputs"),
                                     QStringLiteral("lamp_warn_hours"),
                                     QStringLiteral("share_port")};
    return known.contains(key);
}

// "FILE:LINE: [NAME] ..." for the key's line, or the section's when the key is missing.
QString at(const QString& path, const site::SiteSection& section, const QString& key,
           const QString& problem) {
    const site::SiteEntry* entry = section.entry(key);
    return QStringLiteral("%1:%2: [%3] %4")
        .arg(path, QString::number(entry ? entry->line : section.line), section.name, problem);
}

// One projector from its section, the flags and stored settings filling what it leaves out; its
// baud rate comes from the site's shared rules. Empty when it reads right; otherwise what is
// wrong, at the line that says it.
QString readSection(const QString& path, const site::SiteSection& section,
                    const ProjectorEntry& fallback, int baud, ProjectorEntry* entry) {
    for (const site::SiteEntry& e : section.entries) {
        if (!knownKey(e.key))
            return at(
                path, section, e.key,
                QStringLiteral("has an unknown key \"%1\" (port, baud, address, room)").arg(e.key));
    }
    *entry = fallback;
    entry->name = section.name;
    entry->target = section.value(kPortKey).value_or(fallback.target);
    entry->baud = baud;
    entry->address = section.value(kAddressKey).value_or(fallback.address);
    if (!prefixForAddressWord(entry->address))
        return at(path, section, kAddressKey,
                  QStringLiteral("address must be single, all, 001, 002, 003 or 004"));
    entry->room = section.value(kRoomKey).value_or(QString());
    return {};
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
        const site::SiteRead read = site::readSiteFile(inv.siteFile);
        if (!read.site)
            return failed(QStringLiteral("site file ") + read.error);
        const QList<site::SiteSection>& sections = read.site->sections;
        // The whole file keeps the rules it shares with the gateway, chosen sections or not.
        QString problem;
        const auto rates = site::baudRates(
            *read.site, fallback.baud,
            [&](const site::SiteSection& section) {
                return deviceOf(section.value(kPortKey).value_or(fallback.target));
            },
            &problem);
        if (!rates)
            return failed(QStringLiteral("site file ") + problem);
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
            ProjectorEntry entry;
            problem =
                readSection(inv.siteFile, sections[index], fallback, rates->at(index), &entry);
            if (!problem.isEmpty())
                return failed(QStringLiteral("site file ") + problem);
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
        const QString problem = targetProblem(entry.target);
        if (!problem.isEmpty())
            return failed(who + problem);
        entry.device = deviceOf(entry.target);
        plan.projectors << entry;
    }
    return plan;
}

} // namespace tavo::ctl
