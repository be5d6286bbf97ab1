#include "GatewayRig.h"

#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// True when nothing listens on `count` loopback ports from `base` on.
bool portsFree(quint16 base, int count) {
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(base + i));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (!free)
            return false;
    }
    return true;
}

quint16 freePortRun(int count) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto base = quint16(QRandomGenerator::global()->bounded(20000, 60000 - count));
        if (portsFree(base, count))
            return base;
    }
    return 0;
}

} // namespace

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

GatewayRig::GatewayRig(ProjectorBank& bank, int projectorsPerLine, Options options)
    : m_bank(bank), m_perLine(projectorsPerLine), m_options(options) {}

GatewayRig::~GatewayRig() {
    if (m_gateway.state() != QProcess::NotRunning) {
        m_gateway.terminate();
        if (!m_gateway.waitForFinished(10000))
            m_gateway.kill();
        m_gateway.waitForFinished(5000);
    }
}

QString GatewayRig::name(int line, int projector) {
    return QStringLiteral("p%1_%2").arg(line).arg(projector + 1);
}

QString GatewayRig::topic(int line, int projector, const QString& leaf) const {
    return QStringLiteral("tavo/%1/%2/%3").arg(site(), name(line, projector), leaf);
}

QString GatewayRig::stateTopic(int line, int projector) const {
    return topic(line, projector, QStringLiteral("state"));
}

QByteArray GatewayRig::log() const {
    QFile file(m_dir.filePath(QStringLiteral("gateway.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool GatewayRig::writeSite(QString* error) {
    QByteArray text;
    for (int l = 0; l < m_bank.lineCount(); ++l) {
        for (int p = 0; p < m_perLine; ++p) {
            text += "[" + name(l, p).toUtf8() + "]\nport=" + m_targets[size_t(l)].toUtf8() +
                    "\nbaud=9600\nroom=bench\n";
            if (m_perLine > 1)
                text += "address=" + ProjectorBank::address(p) + "\n";
        }
    }
    QFile file(m_dir.filePath(site() + QStringLiteral(".site")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        *error = QStringLiteral("cannot write the site file");
        return false;
    }
    return true;
}

bool GatewayRig::start(QString* error) {
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary directory");
        return false;
    }
    m_broker.setTcpNoDelay(m_options.brokerNoDelay);
    if (!m_broker.start(error))
        return false;
    for (int l = 0; l < m_bank.lineCount(); ++l) {
        const bool networked = m_options.viaSer2netEvery > 0 && l % m_options.viaSer2netEvery == 0;
        if (!networked) {
            m_targets.push_back(m_bank.device(l));
            continue;
        }
        auto server = std::make_unique<Ser2netServer>(m_bank.device(l), QStringLiteral("9600n81"));
        if (!server->start(error))
            return false;
        const bool raw = (l / m_options.viaSer2netEvery) % 2 == 0;
        m_targets.push_back(raw ? server->rawUrl() : server->rfc2217Url());
        m_ser2net.push_back(std::move(server));
    }
    if (!writeSite(error))
        return false;
    QStringList args{
        QStringLiteral("--site"), m_dir.filePath(site() + QStringLiteral(".site")),
        QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:%1").arg(m_broker.port()),
        QStringLiteral("--poll"), QString::number(m_options.pollSeconds)};
    if (m_options.http) {
        m_httpPort = freePortRun(1);
        args << QStringLiteral("--http") << QStringLiteral("127.0.0.1:%1").arg(m_httpPort);
    }
    if (m_options.pjlink) {
        m_pjlinkBase = freePortRun(m_bank.lineCount() * m_perLine);
        args << QStringLiteral("--pjlink") << QStringLiteral("127.0.0.1:%1").arg(m_pjlinkBase);
    }
    m_gateway.setStandardOutputFile(QProcess::nullDevice());
    m_gateway.setStandardErrorFile(m_dir.filePath(QStringLiteral("gateway.log")));
    // A gateway outliving a killed benchmark would go on opening the pseudo-terminals' paths,
    // which the next run's lines get again.
    m_gateway.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // MX7300_GATEWAY names another build's program, so two builds meet the same rig in one run.
    m_gateway.start(qEnvironmentVariable("MX7300_GATEWAY", QStringLiteral(MX7300_GATEWAY_PATH)),
                    args);
    if (!m_gateway.waitForStarted(5000)) {
        *error = QStringLiteral("mx7300-gateway did not start: %1").arg(m_gateway.errorString());
        return false;
    }
    runEventsFor(300);
    if (m_gateway.state() == QProcess::NotRunning) {
        *error = QStringLiteral("mx7300-gateway ended at once: %1")
                     .arg(QString::fromLocal8Bit(log()).trimmed());
        return false;
    }
    return true;
}
