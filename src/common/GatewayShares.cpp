#include "GatewayShares.h"

#include "BoundedFileRead.h"
#include "SiteRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavo {
namespace {

constexpr qint64 kMaxFile = 64 * 1024;

QString sameFile(const QString& device) {
    if (device.contains(QLatin1String("://")))
        return device;
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

// What an IP address written as text holds, no more (the gateway writes QHostAddress's text): it
// goes into a URL as it is. Kept to Qt Core, so that the console loads Qt Network only for its
// network ports.
bool isAddressText(const QString& address) {
    static const QRegularExpression ipv4(QRegularExpression::anchoredPattern(
        QStringLiteral("(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})")));
    static const QRegularExpression ipv6(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f:.]{2,45}")));
    if (const auto match = ipv4.match(address); match.hasMatch()) {
        for (int part = 1; part <= 4; ++part)
            if (match.captured(part).toInt() > 255)
                return false;
        return true;
    }
    return address.count(QLatin1Char(':')) >= 2 && ipv6.match(address).hasMatch();
}

bool running(qint64 pid) {
#ifdef Q_OS_UNIX
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
#else
    Q_UNUSED(pid);
    return false;
#endif
}

std::optional<GatewayShares> readShares(const QString& path) {
    // Another program may have put anything there: a FIFO must not block the reader.
    const site::BoundedRead file = site::readRegularFile(path, kMaxFile);
    if (!file.ok)
        return std::nullopt;
    const QByteArray& text = file.bytes;
    GatewayShares shares;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("site")) {
            shares.site = value;
        } else if (key == QLatin1String("pid")) {
            shares.pid = value.toLongLong();
        } else if (key == QLatin1String("address")) {
            shares.address = value;
        } else if (key == QLatin1String("line")) {
            // "PORT DEVICE": the device is the rest of the line, spaces and all.
            const qsizetype space = value.indexOf(QLatin1Char(' '));
            bool ok = false;
            const int port = value.left(space).toInt(&ok);
            const QString device = value.mid(space + 1);
            if (space > 0 && ok && port > 0 && port <= 65535 && !device.isEmpty() &&
                std::none_of(device.begin(), device.end(),
                             [](QChar c) { return c.category() == QChar::Other_Control; }))
                shares.lines << GatewayShares::Line{device, quint16(port)};
        }
    }
    if (!site::isPlainName(shares.site) || shares.pid <= 0 || !isAddressText(shares.address))
        return std::nullopt;
    return shares;
}

} // namespace

std::optional<QString> GatewayShares::shareOf(const QString& device) const {
    const QString wanted = sameFile(device);
    for (const Line& line : lines)
        if (sameFile(line.device) == wanted)
            return urlOf(line);
    return std::nullopt;
}

QString GatewayShares::urlOf(const Line& line) const {
    // A share on every address is reached on loopback.
    QString host = address;
    if (host == QLatin1String("0.0.0.0"))
        host = QStringLiteral("127.0.0.1");
    else if (host == QLatin1String("::"))
        host = QStringLiteral("::1");
    if (host.contains(QLatin1Char(':')))
        host = QStringLiteral("[%1]").arg(host);
    return QStringLiteral("tcp://%1:%2").arg(host).arg(line.port);
}

QString gatewayRuntimeDirectory() {
    const QString systemd = qEnvironmentVariable("RUNTIME_DIRECTORY");
    if (!systemd.isEmpty())
        return systemd.split(QLatin1Char(':')).first();
    const QString user = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!user.isEmpty())
        return QDir(user).filePath(QStringLiteral("tavo"));
    return QStringLiteral("/run/tavo");
}

QStringList gatewayRuntimeDirectories() {
    QStringList directories{gatewayRuntimeDirectory()};
    // The packaged service's, wherever this program's own environment points.
    const QString system = QStringLiteral("/run/tavo");
    if (!directories.contains(system))
        directories << system;
    return directories;
}

QString gatewaySharesPath(const QString& directory, const QString& site) {
    return QDir(directory).filePath(site + QStringLiteral(".shares"));
}

bool writeGatewayShares(const QString& directory, const GatewayShares& shares, QString* error) {
    if (!QDir().mkpath(directory)) {
        *error = QStringLiteral("cannot make %1").arg(directory);
        return false;
    }
    QByteArray text = "site=" + shares.site.toUtf8() + "\npid=" + QByteArray::number(shares.pid) +
                      "\naddress=" + shares.address.toUtf8() + '\n';
    for (const GatewayShares::Line& line : shares.lines)
        text += "line=" + QByteArray::number(line.port) + ' ' + line.device.toUtf8() + '\n';
    // Its mode is set before a byte is in it; then it takes the place of the old one whole.
    const QString path = gatewaySharesPath(directory, shares.site);
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup) ||
        file.write(text) != text.size() || !file.flush()) {
        *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        file.remove();
        return false;
    }
    file.close();
#ifdef Q_OS_UNIX
    // The group of the first line's device, where the gateway is in it (dialout): who may use
    // the ports may read where their shares are. Where it is not, the file keeps the gateway's
    // own group, readable by fewer users, which is no reason to give up the shares.
    struct stat device {};
    if (!shares.lines.isEmpty() &&
        ::stat(QFile::encodeName(shares.lines.first().device).constData(), &device) == 0) {
        [[maybe_unused]] const int changed =
            ::chown(QFile::encodeName(file.fileName()).constData(), uid_t(-1), device.st_gid);
    }
#endif
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("%1: cannot be replaced").arg(path);
        file.remove();
        return false;
    }
    return true;
}

QList<GatewayShares> runningGatewayShares(const QStringList& directories) {
    QList<GatewayShares> found;
    QStringList places;
    for (const QString& directory : directories) {
        places << directory;
        // Each instance of the packaged service has a directory of its own in /run/tavo.
        const QStringList instances = QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& instance : instances)
            places << QDir(directory).filePath(instance);
    }
    for (const QString& place : places) {
        const QStringList names = QDir(place).entryList({QStringLiteral("*.shares")}, QDir::Files);
        for (const QString& name : names) {
            const auto shares = readShares(QDir(place).filePath(name));
            if (shares && running(shares->pid))
                found << *shares;
        }
    }
    return found;
}

} // namespace tavo
