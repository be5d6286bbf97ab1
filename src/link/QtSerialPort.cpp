#include "QtSerialPort.h"

#include "DeviceOpenFailure.h"

#ifdef Q_OS_UNIX
#include "DeviceUse.h"

#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavo {
namespace {

// Only character devices can be serial lines; a regular file or a directory
// would otherwise get as far as the terminal settings before failing.
bool looksLikeSerialDevice(const QString& device) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(device.toLocal8Bit().constData(), &info) != 0)
        return false;
    return S_ISCHR(info.st_mode);
#else
    return !device.isEmpty();
#endif
}

// Why another program's use forbids opening `device`; empty when it may be opened.
QString useBeforeOpen(const QString& device) {
#ifdef Q_OS_UNIX
    return terminalUse(device);
#else
    Q_UNUSED(device);
    return {};
#endif
}

// QSerialPort::open has already taken the LCK.. lock file and set TIOCEXCL (further opens fail,
// except by root); programs that mark their use with flock() on the device are checked here.
// Empty on success, else why not.
QString takeExclusiveUse(QSerialPort& port, const QString& device) {
#ifdef Q_OS_UNIX
    if (::flock(port.handle(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? flockUse(device) : QString();
#else
    Q_UNUSED(port);
    Q_UNUSED(device);
#endif
    return {};
}

#ifdef Q_OS_UNIX
// What of `bytes` the driver takes at once, without waiting. Nothing taken (a full driver buffer,
// an error) leaves the bytes to Qt's buffer, which waits for room and reports errors its way.
qint64 writeNow(QSerialPort& port, const QByteArray& bytes) {
    for (;;) {
        const ssize_t written = ::write(port.handle(), bytes.constData(), size_t(bytes.size()));
        if (written >= 0)
            return written;
        if (errno != EINTR)
            return 0;
    }
}
#endif

} // namespace

QtSerialPort::QtSerialPort(DeviceResolver resolveDevice, QObject* parent)
    : QObject(parent), m_resolveDevice(std::move(resolveDevice)) {
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialPort::handleReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::handleError);
}

QtSerialPort::~QtSerialPort() {
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialPort::setSettings(const QString& settings) {
    m_settings = settings;
    // "9600,N,8,1" or "19200,N,8,1": only the speed varies.
    const int speed = settings.section(QLatin1Char(','), 0, 0).toInt();
    m_port.setBaudRate(speed > 0 ? speed : 9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

bool QtSerialPort::setCommPort(int port) {
    if (m_port.isOpen() || !isUsablePort(port))
        return false;
    m_commPort = port;
    return true;
}

bool QtSerialPort::setPortOpen(bool open) {
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        return true;
    }
    if (m_port.isOpen())
        return false;
    const QString device = m_resolveDevice(m_commPort);
    m_device = device;
    m_port.setPortName(device);
    if (!looksLikeSerialDevice(device)) {
        m_lastOpenError = describeDeviceOpenFailure(device, QSerialPort::NoError, {});
        return false;
    }
    // Never write into someone's terminal.
    if (const QString inUse = useBeforeOpen(device); !inUse.isEmpty()) {
        m_lastOpenError = inUse;
        return false;
    }
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastOpenError = describeDeviceOpenFailure(device, m_port.error(), m_port.errorString());
        m_port.clearError();
        return false;
    }
    if (const QString inUse = takeExclusiveUse(m_port, device); !inUse.isEmpty()) {
        m_port.close();
        m_port.clearError();
        m_lastOpenError = inUse;
        return false;
    }
    m_lastOpenError.clear();
    // Bytes that reached the driver before we opened belong to nobody.
    m_port.clear();
    return true;
}

bool QtSerialPort::output(const QByteArray& bytes) {
    if (!m_port.isOpen())
        return false;
#ifdef Q_OS_UNIX
    // A command goes to the driver at once when nothing waits before it. QSerialPort's own write
    // would turn its write notifier on for it and off again on the next loop turn: two changes
    // to the loop's descriptor set and a wake-up per command, most of a busy gateway's cost.
    const qint64 taken = m_port.bytesToWrite() == 0 ? writeNow(m_port, bytes) : 0;
    const qint64 rest = bytes.size() - taken;
    // What the driver had no room for waits in Qt's buffer until the write notifier says there
    // is room. Not flush(): on a full line that writes anyway and takes EAGAIN for a lost port.
    return rest == 0 || m_port.write(bytes.constData() + taken, rest) == rest;
#else
    if (m_port.write(bytes) != bytes.size())
        return false;
    // Start the write now instead of at the next loop turn.
    m_port.flush();
    return true;
#endif
}

QByteArray QtSerialPort::input() {
    return m_port.isOpen() ? m_port.readAll() : QByteArray();
}

void QtSerialPort::handleReadyRead() {
    m_commEvent = EvReceive;
    raiseOnComm();
}

void QtSerialPort::handleError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
        return;
    default:
        break;
    }
    if (!m_port.isOpen())
        return; // open failures are reported by setPortOpen
    // A hung-up line makes Qt repeat read errors in a tight loop; the first
    // fatal error ends the link.
    m_port.close();
    m_port.clearError();
    m_commEvent = EvLinkLost;
    raiseOnComm();
}

} // namespace tavo
