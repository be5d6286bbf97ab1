#include "sim/PortRegistration.h"

#include "IniLineEditor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <csignal>

namespace tavo::sim {
namespace {

const QString kSection = QStringLiteral("Ports");

QString pidKey(const QString& key) {
    return key + QStringLiteral(".sim-pid");
}

// A value as QSettings reads it when it needs no escapes: quotes taken off.
QString plainValue(const QByteArray& raw) {
    QByteArray value = raw;
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return QString::fromUtf8(value);
}

QString commandOf(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                          : QString();
}

// A running simulator, not a process that has since taken over its number.
bool isRunningSimulator(qint64 pid) {
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return false;
    const QString command = commandOf(pid);
    return command.isEmpty() || command == QFileInfo(QCoreApplication::applicationFilePath())
                                               .fileName()
                                               .left(15); // the kernel keeps 15 characters
}

} // namespace

QString consoleSettingsFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/TAVO/TAVO.ini");
}

PortRegistration::Outcome PortRegistration::add(int port, const QString& device, QString* error) {
    const QString key = QStringLiteral("COM%1").arg(port);
    QDir().mkpath(QFileInfo(file_).absolutePath());
    // Held from the check to the write, so two simulators starting together do not both win.
    QLockFile registering(file_ + QStringLiteral(".sim-lock"));
    if (!registering.tryLock(5000)) {
        *error = QStringLiteral("cannot lock %1 for registering").arg(file_);
        return Outcome::Failed;
    }
    const auto owner = readIniKeyRaw(file_, kSection, pidKey(key));
    const qint64 ownerPid = owner ? owner->toLongLong() : 0;
    if (ownerPid != QCoreApplication::applicationPid() && isRunningSimulator(ownerPid)) {
        const auto held = readIniKeyRaw(file_, kSection, key);
        *error = QStringLiteral("%1 in %2 is registered by another running simulator (PID %3, %4); "
                                "choose another port number")
                     .arg(key, file_)
                     .arg(ownerPid)
                     .arg(held ? plainValue(*held) : QStringLiteral("no device"));
        return Outcome::HeldByAnother;
    }
    IniEditResult written = writeIniKey(file_, kSection, key, device);
    if (written.ok)
        written = writeIniKey(file_, kSection, pidKey(key),
                              QString::number(QCoreApplication::applicationPid()));
    if (!written.ok) {
        *error = QStringLiteral("cannot write %1: %2").arg(file_, written.error);
        return Outcome::Failed;
    }
    key_ = key;
    device_ = device;
    return Outcome::Registered;
}

void PortRegistration::remove() {
    if (key_.isEmpty())
        return;
    QLockFile registering(file_ + QStringLiteral(".sim-lock"));
    registering.tryLock(5000);
    const auto device = readIniKeyRaw(file_, kSection, key_);
    const auto owner = readIniKeyRaw(file_, kSection, pidKey(key_));
    // Another simulator may have taken the number over since (after this one was stopped).
    if (device && plainValue(*device) == device_) {
        removeIniKey(file_, kSection, key_);
        if (owner && owner->toLongLong() == QCoreApplication::applicationPid())
            removeIniKey(file_, kSection, pidKey(key_));
    }
    key_.clear();
}

} // namespace tavo::sim
