#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTcpServer;
class QUdpSocket;

namespace tavo::gateway {
class Gateway;
struct SiteChange;
} // namespace tavo::gateway

namespace tavo::gateway::pjlink {

class Responder;

// PJLink for every projector of the site: each answers on a TCP port of its own (the first at
// `basePort`, the next in site order at basePort + 1, ...; a section's pjlink_port overrides),
// and the search (Class 2 SRCH) is answered on UDP `searchPort` of `address`, the answer going to
// the same port of the searcher, as the standard has it (4352 for both).
class PjlinkFront : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kStandardPort = 4352;
    static constexpr int kStandardIdleMs = 30000;
    // A line must be whole this long after its first byte, and on a password port the first
    // command (with its digest) must come this long after the greeting.
    static constexpr int kLineDeadlineMs = 5000;
    static constexpr int kDigestDeadlineMs = 5000;
    // Clients at once on one projector's port. A client past it takes the place of the oldest
    // one that has had no answer yet; when every place holds a client that has, it is closed
    // before the greeting.
    static constexpr int kMaxClientsPerPort = 16;

    struct Options {
        QHostAddress address = QHostAddress::Any;
        quint16 basePort = kStandardPort; // 0: any free port for each projector
        QString defaultPassword;          // for sections without pjlink_password; empty: no check
        int idleMs = kStandardIdleMs;
        int lineMs = kLineDeadlineMs;
        int digestMs = kDigestDeadlineMs;
        quint16 searchPort = kStandardPort;
    };

    PjlinkFront(Gateway& gateway, Options options, QObject* parent = nullptr);
    ~PjlinkFront() override;

    // Checks every section's pjlink_inputs and the ports, then listens on all of them; false
    // with the reason in `error` (nothing listens then).
    bool listen(QString* error);
    void close();

    // A reload: kept projectors keep their port and clients, removed ones' ports close, added
    // ones listen. What an added one could not have (a taken port, bad pjlink_inputs) comes
    // back as one line each; that projector then has no PJLink port.
    QStringList takeSiteChange(const SiteChange& change);

    // The TCP port of the projector; 0 before listen().
    quint16 portOf(int index) const;
    int clientsOn(int index) const;

private:
    struct Port;
    bool openPort(int index, QString* error);
    void closePort(Port& port);
    void accept(Port& port);
    void answerSearch();
    QByteArray searchAnswer() const;

    Gateway& m_gateway;
    Options m_options;
    std::vector<std::unique_ptr<Port>> m_ports;
    QUdpSocket* m_search = nullptr;
};

} // namespace tavo::gateway::pjlink
