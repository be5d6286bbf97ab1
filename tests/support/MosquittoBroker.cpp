#include "MosquittoBroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port nobody listens on right now.
quint16 freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

constexpr qsizetype kLogKept = 16 * 1024;

} // namespace

MosquittoBroker::MosquittoBroker() : m_port(freeLoopbackPort()) {
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setReadChannel(QProcess::StandardError);
    // The broker logs every client to stderr; keep only the tail.
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process, [this] {
        m_log += m_process.readAllStandardError();
        if (m_log.size() > kLogKept)
            m_log.remove(0, m_log.size() - kLogKept);
    });
}

MosquittoBroker::~MosquittoBroker() {
    kill();
}

QString MosquittoBroker::executable() {
    QString found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            QStringLiteral("mosquitto"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    return found;
}

bool MosquittoBroker::start(QString* error) {
    const QString program = executable();
    if (program.isEmpty() || !m_dir.isValid() || !m_port) {
        *error = QStringLiteral("mosquitto, a temporary directory or a free port is missing");
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                   .arg(m_port)
                   .toUtf8());
    if (m_tcpNoDelay)
        file.write("set_tcp_nodelay true\n");
    if (!m_certFile.isEmpty())
        file.write(QStringLiteral("certfile %1\nkeyfile %2\n").arg(m_certFile, m_keyFile).toUtf8());
    if (!m_clientCaFile.isEmpty())
        file.write(
            QStringLiteral("cafile %1\nrequire_certificate true\n").arg(m_clientCaFile).toUtf8());
    file.close();
    m_log.clear();
    m_process.start(program, {QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(5000)) {
        *error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(5000);
    while (!m_log.contains(" running")) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            m_log += m_process.readAllStandardError();
            if (m_log.contains(" running"))
                break;
            *error = QStringLiteral("mosquitto did not start: ") + QString::fromUtf8(m_log);
            kill();
            return false;
        }
    }
    return true;
}

void MosquittoBroker::useTls(const QString& certFile, const QString& keyFile,
                             const QString& clientCaFile) {
    m_certFile = certFile;
    m_keyFile = keyFile;
    m_clientCaFile = clientCaFile;
}

void MosquittoBroker::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}
