#pragma once

#include "FakeSerialPort.h"
#include "Gateway.h"
#include "PjlinkFront.h"
#include "QtTimer.h"
#include "StatusReads.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace tavo::test {

// A projector behind the fake port that answers as the MX7300 does, a moment after each command.
// What it is sent besides the poll's reads is kept in `commands`.
class ScriptedProjector : public FakeSerialPort {
public:
    QByteArray power = "80"; // stand by
    QByteArray input = "1";
    QByteArray lamp = "01234";
    QByteArray videoMute = "OFF";
    bool silent = false;
    QByteArrayList commands;

    bool output(const QByteArray& bytes) override {
        if (!FakeSerialPort::output(bytes))
            return false;
        const QByteArray command = bytes.chopped(1);
        if (!statusReadOf(command))
            commands << command;
        if (!silent) {
            const QByteArray reply = answer(command);
            QTimer::singleShot(0, &m_context, [this, reply] { receive(reply); });
        }
        return true;
    }

private:
    QByteArray answer(const QByteArray& command) {
        const QByteArray ack(1, '\x06');
        if (command == "CR0")
            return power + '\r';
        if (command == "CR1")
            return input + '\r';
        if (command == "CR3")
            return lamp + '\r';
        if (command == "CR6")
            return "038.5 046.0 031.5\r";
        if (command == "CR4")
            return "11\r";
        if (command == "CR VMUTE")
            return videoMute + '\r';
        if (command == "C00" || command == "C01")
            power = command == "C00" ? "00" : "80";
        else if (command >= "C05" && command <= "C08")
            input = QByteArray::number(command[2] - '4');
        else if (command == "C0D" || command == "C0E")
            videoMute = command == "C0D" ? "ON" : "OFF";
        else
            return "?\r";
        return ack;
    }

    QObject m_context;
};

// One projector "hall" in "Main hall" on the scripted port, polled every 200 ms, with PJLink on
// a free port of `address`.
struct PjlinkRig {
    ScriptedProjector* projector = nullptr;
    std::unique_ptr<gateway::Gateway> gateway;
    std::unique_ptr<gateway::pjlink::PjlinkFront> front;
    QElapsedTimer clock;
    int lineMs = gateway::pjlink::PjlinkFront::kLineDeadlineMs;
    int digestMs = gateway::pjlink::PjlinkFront::kDigestDeadlineMs;

    explicit PjlinkRig(const QString& pjlinkInputs = {}) {
        clock.start();
        gateway::ProjectorConfig hall;
        hall.name = QStringLiteral("hall");
        hall.room = QStringLiteral("Main hall");
        hall.target = QStringLiteral("fake");
        hall.address = QStringLiteral("single");
        hall.pjlinkInputs = pjlinkInputs;
        gateway::SiteConfig site{QStringLiteral("site"), {}, {hall}};
        gateway = std::make_unique<gateway::Gateway>(
            site,
            [this] {
                auto port = std::make_unique<ScriptedProjector>();
                projector = port.get();
                return port;
            },
            [] { return std::make_unique<QtTimer>(0); }, 200, [this] { return clock.elapsed(); },
            [] { return QDateTime::currentDateTimeUtc(); });
    }

    // Polled once, then listening.
    bool start(const QString& password, int idleMs = 1500,
               const QHostAddress& address = QHostAddress::LocalHost, quint16 searchPort = 0) {
        QSignalSpy polled(gateway.get(), &gateway::Gateway::stateChanged);
        gateway->start();
        if (!polled.wait(5000))
            return false;
        gateway::pjlink::PjlinkFront::Options options;
        options.address = address;
        options.basePort = 0;
        options.defaultPassword = password;
        options.idleMs = idleMs;
        options.lineMs = lineMs;
        options.digestMs = digestMs;
        options.searchPort = searchPort;
        front = std::make_unique<gateway::pjlink::PjlinkFront>(*gateway, options);
        QString error;
        return front->listen(&error);
    }
};

// A PJLink client's socket, collecting what it is sent.
struct PjlinkClient {
    QTcpSocket socket;
    QByteArray received;

    explicit PjlinkClient(quint16 port, const QHostAddress& host = QHostAddress::LocalHost) {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        socket.connectToHost(host, port);
    }
    // The greeting's random digits; empty for "PJLINK 0".
    QByteArray random() const {
        return received.startsWith("PJLINK 1 ") ? received.mid(9, 8) : QByteArray();
    }
};

} // namespace tavo::test
