#include "Plan.h"

#include "PortMap.h"
#include "SettingsStore.h"
#include "StoredNumber.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>

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
    static const QRegularExpression network(QStringLiteral("^(tcp|rfc2217)://(.+):(\\d{1,5})$"));
    if (target.contains(QLatin1String("://"))) {
        const auto match = network.match(target);
        if (!match.hasMatch() || match.captured(3).toInt() < 1 || match.captured(3).toInt() > 65535)
            return QStringLiteral("\"%1\" is not tcp://HOST:PORT or rfc2217://HOST:PORT")
                .arg(target);
    }
    return {};
}

QString deviceFor(const QString& target, const QString& consoleSettingsPath) {
    if (const auto n = comPortNumber(target))
        return deviceForPort(*n, consoleSettingsPath);
    return target;
}

// QSettings quietly merges sections of the same name; a site must not.
QString duplicateSection(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QSet<QByteArray> seen;
    for (QByteArray line : file.readAll().split('\n')) {
        line = line.trimmed();
        if (!line.startsWith('[') || !line.endsWith(']'))
            continue;
        const QByteArray name = line.mid(1, line.size() - 2).trimmed();
        if (seen.contains(name))
            return QString::fromUtf8(name);
        seen.insert(name);
    }
    return {};
}

} // namespace

std::optional<int> comPortNumber(const QString& target) {
    static const QRegularExpression com(QStringLiteral("^COM(\\d{1,2})$"),
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

    QList<ProjectorEntry> wanted;
    if (inv.siteFile.isEmpty()) {
        wanted << fallback;
    } else {
        const QFileInfo info(inv.siteFile);
        if (!info.exists())
            return failed(QStringLiteral("site file %1 does not exist").arg(inv.siteFile));
        if (!info.isFile() || !info.isReadable())
            return failed(QStringLiteral("site file %1 cannot be read").arg(inv.siteFile));
        QSettings site(inv.siteFile, QSettings::IniFormat);
        if (site.status() != QSettings::NoError)
            return failed(QStringLiteral("site file %1 is not an INI file").arg(inv.siteFile));
        const QString duplicate = duplicateSection(inv.siteFile);
        if (!duplicate.isEmpty())
            return failed(
                QStringLiteral("site file %1 names [%2] twice").arg(inv.siteFile, duplicate));
        const QStringList sections = site.childGroups();
        if (!site.childKeys().isEmpty())
            return failed(QStringLiteral("site file %1: \"%2\" stands outside any [projector] "
                                         "section")
                              .arg(inv.siteFile, site.childKeys().first()));
        if (sections.isEmpty())
            return failed(QStringLiteral("site file %1 names no projector (no [NAME] section)")
                              .arg(inv.siteFile));

        const QStringList chosen = inv.all ? sections : inv.names;
        QSet<QString> taken;
        for (const QString& name : chosen) {
            if (!sections.contains(name))
                return failed(
                    QStringLiteral("site file %1 has no projector \"%2\"").arg(inv.siteFile, name));
            if (taken.contains(name))
                return failed(QStringLiteral("projector \"%1\" is named twice").arg(name));
            taken.insert(name);
            site.beginGroup(name);
            const QStringList keys = site.childKeys();
            for (const QString& key : keys) {
                if (key != kPortKey && key != kBaudKey && key != kAddressKey && key != kRoomKey)
                    return failed(QStringLiteral("site file %1: [%2] has an unknown key \"%3\" "
                                                 "(port, baud, address, room)")
                                      .arg(inv.siteFile, name, key));
            }
            ProjectorEntry entry = fallback;
            entry.name = name;
            entry.target = site.value(kPortKey, fallback.target).toString().trimmed();
            const QString baud = site.value(kBaudKey, QString::number(fallback.baud)).toString();
            if (baud != QLatin1String("9600") && baud != QLatin1String("19200"))
                return failed(QStringLiteral("site file %1: [%2] baud must be 9600 or 19200")
                                  .arg(inv.siteFile, name));
            entry.baud = baud.toInt();
            entry.address = site.value(kAddressKey, fallback.address).toString().trimmed();
            if (!prefixForAddressWord(entry.address))
                return failed(QStringLiteral("site file %1: [%2] address must be single, all, "
                                             "001, 002, 003 or 004")
                                  .arg(inv.siteFile, name));
            entry.room = site.value(kRoomKey).toString();
            site.endGroup();
            wanted << entry;
        }
    }

    Plan plan;
    for (ProjectorEntry entry : wanted) {
        const QString who =
            entry.name.isEmpty() ? QString() : QStringLiteral("[%1] ").arg(entry.name);
        if (entry.target.isEmpty())
            return failed(who + QStringLiteral("no port: give --port TARGET, or choose one in "
                                               "the console first"));
        const QString problem = targetProblem(entry.target);
        if (!problem.isEmpty())
            return failed(who + problem);
        entry.device = deviceFor(entry.target, consoleSettingsPath);
        plan.projectors << entry;
    }
    // Projectors on one wire share its speed.
    for (const ProjectorEntry& a : plan.projectors) {
        for (const ProjectorEntry& b : plan.projectors) {
            if (a.device == b.device && a.baud != b.baud)
                return failed(QStringLiteral("[%1] and [%2] share %3 at different baud rates")
                                  .arg(a.name, b.name, a.device));
        }
    }
    return plan;
}

} // namespace tavo::ctl
