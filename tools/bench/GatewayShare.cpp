#include "GatewayShare.h"

#include "PseudoTerminal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>

GatewayShare::GatewayShare(QString program) : m_program(std::move(program)) {}

GatewayShare::~GatewayShare() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
}

bool GatewayShare::start(PseudoTerminal& projector, QString* error) {
    QFile site(m_dir.filePath(QStringLiteral("bench.ini")));
    if (!site.open(QIODevice::WriteOnly) ||
        site.write(
            QStringLiteral("[p]\nport=%1\nbaud=9600\n").arg(projector.slavePath()).toUtf8()) < 0) {
        *error = QStringLiteral("cannot write the site file");
        return false;
    }
    site.close();
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            *error = QStringLiteral("no free loopback port");
            return false;
        }
        m_port = probe.serverPort();
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("RUNTIME_DIRECTORY"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(m_program, {"--site", site.fileName(), "--poll", "3600", "--share",
                                QStringLiteral("127.0.0.1:%1").arg(m_port)});
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start").arg(m_program);
        return false;
    }
    // The projector's end answers the first poll (standby, then a plausible digit for each other
    // read) until the gateway has it online and the line has been quiet for a while.
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer quiet;
    quiet.start();
    while (clock.elapsed() < 15000) {
        QByteArray command;
        if (projector.readUntil('\r', 50, &command)) {
            projector.write(command == "CR0\r" ? QByteArray("80\r") : QByteArray("1\r"));
            quiet.restart();
        }
        m_process.waitForReadyRead(0);
        m_log += m_process.readAllStandardError();
        if (m_log.contains("p: online") && quiet.elapsed() > 500)
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    *error = QStringLiteral("the gateway did not bring its projector online: %1")
                 .arg(QString::fromLocal8Bit(m_log));
    return false;
}
