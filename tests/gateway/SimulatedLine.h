#pragma once

#include "LinePort.h"
#include "SerialPort.h"

#include "sim/CommandResponder.h"
#include "sim/ProjectorModel.h"

#include <QList>
#include <QObject>
#include <QRegularExpression>

namespace tavo::test {

// A serial line with the simulator's projector at its end, answering on the next turn of the
// event loop as a real line would. `silent` never answers; `failOpen` will not open; `opening` is
// told the device each time the line is opened by name.
class SimulatedLine : public SerialPort, public LinePort {
public:
    struct StoppedClock : sim::Clock {
        qint64 nowMs() const override { return 0; }
    };

    void setSettings(const QString& settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }
    bool setCommPort(int) override { return false; }
    int commPort() const override { return 0; }
    bool setPortOpen(bool open) override {
        if (open && failOpen)
            return false;
        m_open = open;
        return true;
    }
    void open(const QString& device, int baud, std::function<void(bool opened)> done) override {
        m_settings = settingsForBaud(baud);
        if (opening)
            opening(device);
        done(setPortOpen(true));
    }
    void close() override { setPortOpen(false); }
    void setOnComm(std::function<void()> handler) override {
        SerialPort::setOnComm(std::move(handler));
    }
    bool portOpen() const override { return m_open; }
    QString openError() const override {
        return failOpen ? QStringLiteral("No such file or directory") : QString();
    }
    QString deviceName() const override { return QStringLiteral("sim"); }
    bool output(const QByteArray& bytes) override {
        if (!m_open)
            return false;
        writes << bytes;
        if (silent)
            return true;
        static const QRegularExpression address(QStringLiteral("^A(FFF|00[1-4])"));
        QString command = QString::fromLatin1(bytes.chopped(bytes.endsWith('\r') ? 1 : 0));
        command.remove(address);
        const QByteArray reply = m_responder.answer(command.toLatin1());
        QMetaObject::invokeMethod(
            &m_context,
            [this, reply] {
                m_waiting += reply;
                raiseOnComm();
            },
            Qt::QueuedConnection);
        return true;
    }
    QByteArray input() override { return std::exchange(m_waiting, QByteArray()); }
    int commEvent() const override { return EvReceive; }

    bool silent = false;
    bool failOpen = false;
    std::function<void(const QString& device)> opening;
    QList<QByteArray> writes;

private:
    QObject m_context;
    StoppedClock m_clock;
    sim::ProjectorModel m_model{m_clock, sim::Timing{}};
    sim::CommandResponder m_responder{m_model};
    QString m_settings;
    QByteArray m_waiting;
    bool m_open = false;
};

} // namespace tavo::test
