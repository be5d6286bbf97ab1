#include "DeviceOpenFailure.h"

#include "OpenFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tavo {

QString lockFileHolder(const QString& device) {
#ifdef Q_OS_UNIX
    // Qt and the serial tools that keep UUCP lock files (minicom, picocom)
    // lock /dev/ttyUSB0 as LCK..ttyUSB0 and /dev/pts/3 as LCK..pts_3; the
    // first line is the holder's PID.
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString file = QStringLiteral("LCK..") + name;
    for (const QString& dir :
         {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QDir::tempPath()}) {
        QFile lock(dir + QLatin1Char('/') + file);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong();
        if (pid <= 0 || !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)))
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        const QString program = comm.open(QIODevice::ReadOnly)
                                    ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                    : QString();
        return program.isEmpty() ? QStringLiteral("PID %1").arg(pid)
                                 : QStringLiteral("PID %1, %2").arg(pid).arg(program);
    }
#else
    Q_UNUSED(device);
#endif
    return {};
}

QString describeDeviceOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                                  const QString& systemText) {
#ifdef Q_OS_UNIX
    const QByteArray path = device.toLocal8Bit();
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        // A link loop is no missing device: say what the path is.
        if (errno == ELOOP)
            return openFailureText(OpenFailure::Other, device,
                                   QStringLiteral("It is a symbolic link loop."));
        return openFailureText(openFailureForErrno(errno), device);
    }
    if (!S_ISCHR(info.st_mode))
        return openFailureText(OpenFailure::NotSerialDevice, device);
    const QString holder = lockFileHolder(device);
    if (!holder.isEmpty())
        return openFailureText(OpenFailure::InUse, device, holder);
    if (::access(path.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return openFailureText(OpenFailure::PermissionDenied, device);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return openFailureText(OpenFailure::NoSuchDevice, device);
    case QSerialPort::PermissionError: // readable and writable, so busy or locked
        return openFailureText(OpenFailure::InUse, device);
    default:
        break;
    }
    // A character device that is no terminal (/dev/null) fails its terminal settings.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        const bool terminal = ::isatty(fd);
        ::close(fd);
        if (!terminal)
            return openFailureText(OpenFailure::NotSerialDevice, device);
    }
#else
    // Windows opens a COM port for one program at a time: access denied is another holding it.
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return openFailureText(OpenFailure::NoSuchDevice, device);
    case QSerialPort::PermissionError:
        return openFailureText(OpenFailure::InUse, device);
    default:
        break;
    }
#endif
    return openFailureText(OpenFailure::Other, device, systemText);
}

} // namespace tavo
