#include "Ser2netServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Binds 127.0.0.1:port (0 = any free one); returns the port bound, or 0 with
// errno set. Binding beside a listening socket fails with EADDRINUSE, which
// tells whether the daemon listens without connecting to it.
quint16 bindLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    quint16 bound = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        bound = ntohs(address.sin_port);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return bound;
}

bool listening(quint16 port) {
    return bindLoopback(port) == 0 && errno == EADDRINUSE;
}

} // namespace

Ser2netServer::Ser2netServer(QString device, QString lineSettings, bool charDelay)
    : m_device(std::move(device)), m_lineSettings(std::move(lineSettings)), m_charDelay(charDelay) {
    m_rawPort = bindLoopback(0);
    do
        m_rfcPort = bindLoopback(0);
    while (m_rfcPort == m_rawPort && m_rfcPort != 0);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
}

Ser2netServer::~Ser2netServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            kill();
    }
}

QString Ser2netServer::executable() {
    QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            QStringLiteral("ser2net"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    return found;
}

bool Ser2netServer::start(QString* error) {
    const QString program = executable();
    if (program.isEmpty() || !m_dir.isValid() || !m_rawPort || !m_rfcPort) {
        *error = QStringLiteral("ser2net, a temporary directory or free ports are missing");
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    const QString connector = QStringLiteral("serialdev,%1,%2,local").arg(m_device, m_lineSettings);
    file.write(QStringLiteral("%YAML 1.1\n---\n"
                              "connection: &raw\n"
                              "  accepter: tcp,127.0.0.1,%1\n"
                              "  connector: %3\n"
                              "  options:\n    mdns: false\n    chardelay: %4\n"
                              "connection: &rfc\n"
                              "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                              "  connector: %3\n"
                              "  options:\n    mdns: false\n    chardelay: %4\n")
                   .arg(m_rawPort)
                   .arg(m_rfcPort)
                   .arg(connector)
                   .arg(m_charDelay ? QStringLiteral("true") : QStringLiteral("false"))
                   .toUtf8());
    file.close();
    m_process.start(program,
                    {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), config,
                     QStringLiteral("-P"), m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(5000)) {
        *error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(5000);
    while (!(listening(m_rawPort) && listening(m_rfcPort))) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
            *error = QStringLiteral("ser2net did not start listening");
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

void Ser2netServer::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(3000);
}
