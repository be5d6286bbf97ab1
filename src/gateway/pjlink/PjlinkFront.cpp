#include "PjlinkFront.h"

#include "PjlinkInputMap.h"
#include "PjlinkResponder.h"
#include "PjlinkSession.h"

#include "Gateway.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>
#include <deque>

namespace tavo::gateway::pjlink {
namespace {

constexpr qint64 kMaxSearchDatagram = 64;
constexpr int kListenBacklog = 256;

// The hardware address of the interface that has `address`, else of the first interface that is
// up and not the loopback; zeros when there is none (a gateway on loopback only).
QByteArray macFor(const QHostAddress& address) {
    const auto usable = [](const QNetworkInterface& i) {
        const QString mac = i.hardwareAddress();
        return !mac.isEmpty() && mac != QLatin1String("00:00:00:00:00:00");
    };
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : interfaces) {
        for (const QNetworkAddressEntry& entry : i.addressEntries()) {
            if (entry.ip() == address)
                return usable(i) ? i.hardwareAddress().toLower().toLatin1()
                                 : QByteArray("00:00:00:00:00:00");
        }
    }
    for (const QNetworkInterface& i : interfaces) {
        const bool up = i.flags().testFlag(QNetworkInterface::IsUp) &&
                        !i.flags().testFlag(QNetworkInterface::IsLoopBack);
        if (up && usable(i))
            return i.hardwareAddress().toLower().toLatin1();
    }
    return "00:00:00:00:00:00";
}

} // namespace

struct PjlinkFront::Port {
    int index = 0;
    quint16 number = 0;
    QString password;
    InputMap inputs;
    QTcpServer* server = nullptr;
    Responder* responder = nullptr;
    int clients = 0;
    std::deque<Session*> sessions; // oldest first
};

PjlinkFront::PjlinkFront(Gateway& gateway, Options options, QObject* parent)
    : QObject(parent), m_gateway(gateway), m_options(std::move(options)) {}

PjlinkFront::~PjlinkFront() {
    close();
}

bool PjlinkFront::listen(QString* error) {
    close();
    const auto fail = [this, error](const QString& why) {
        close();
        if (error)
            *error = why;
        return false;
    };
    for (int i = 0; i < m_gateway.projectorCount(); ++i) {
        QString why;
        if (!openPort(i, &why))
            return fail(why);
    }
    m_search = new QUdpSocket(this);
    connect(m_search, &QUdpSocket::readyRead, this, &PjlinkFront::answerSearch);
    if (!m_search->bind(m_options.address, m_options.searchPort,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return fail(QStringLiteral("PJLink search cannot use UDP %1 port %2: %3")
                        .arg(m_options.address.toString())
                        .arg(m_options.searchPort)
                        .arg(m_search->errorString()));
    return true;
}

// The projector's port: its inputs checked, its number (its own, else from the base port by its
// place), then listening. Nothing is kept of a port that failed.
bool PjlinkFront::openPort(int index, QString* error) {
    const ProjectorConfig& config = m_gateway.projector(index);
    auto port = std::make_unique<Port>();
    port->index = index;
    QString why;
    const std::optional<InputMap> inputs = InputMap::parse(config.pjlinkInputs, &why);
    if (!inputs) {
        *error = QStringLiteral("[%1]: pjlink_inputs: %2").arg(config.name, why);
        return false;
    }
    port->inputs = *inputs;
    // Base port 0: any free port for each (tests).
    const int number = config.pjlinkPort         ? *config.pjlinkPort
                       : m_options.basePort == 0 ? 0
                                                 : m_options.basePort + index;
    const bool taken = std::any_of(m_ports.begin(), m_ports.end(), [number](const auto& p) {
        return number != 0 && p->number == number;
    });
    if (number > 65535 || taken) {
        *error = QStringLiteral("[%1]: PJLink port %2 is out of range or taken by another "
                                "projector")
                     .arg(config.name)
                     .arg(number);
        return false;
    }
    port->number = quint16(number);
    port->password =
        config.pjlinkPassword.isEmpty() ? m_options.defaultPassword : config.pjlinkPassword;
    port->responder = new Responder(m_gateway, port->index, port->inputs, this);
    port->server = new QTcpServer(this);
    // A burst waits in the kernel to be taken (and the extra ones closed) rather than
    // half-open connections being dropped there.
    port->server->setListenBacklogSize(kListenBacklog);
    Port* p = port.get();
    m_ports.push_back(std::move(port));
    connect(p->server, &QTcpServer::newConnection, this, [this, p] { accept(*p); });
    if (!p->server->listen(m_options.address, p->number)) {
        *error = QStringLiteral("[%1]: PJLink cannot listen on %2 port %3: %4")
                     .arg(config.name, m_options.address.toString())
                     .arg(p->number)
                     .arg(p->server->errorString());
        closePort(*p);
        m_ports.pop_back();
        return false;
    }
    return true;
}

// Its clients first: they answer through the responder.
void PjlinkFront::closePort(Port& port) {
    for (Session* session : port.sessions) {
        disconnect(session, nullptr, this, nullptr);
        delete session;
    }
    port.sessions.clear();
    delete port.server;
    delete port.responder;
}

QStringList PjlinkFront::takeSiteChange(const SiteChange& change) {
    for (size_t k = m_ports.size(); k-- > 0;) {
        Port& port = *m_ports[k];
        const auto kept = std::find(change.oldIndex.begin(), change.oldIndex.end(), port.index);
        if (kept != change.oldIndex.end()) {
            port.index = int(kept - change.oldIndex.begin());
            port.responder->setIndex(port.index);
            continue;
        }
        closePort(port);
        m_ports.erase(m_ports.begin() + qsizetype(k));
    }
    QStringList problems;
    for (size_t i = 0; i < change.oldIndex.size(); ++i) {
        QString why;
        if (change.oldIndex[i] < 0 && !openPort(int(i), &why))
            problems << why;
    }
    return problems;
}

void PjlinkFront::close() {
    for (auto& port : m_ports)
        closePort(*port);
    m_ports.clear();
    // Sessions that closed themselves and wait for their deletion.
    for (Session* session : findChildren<Session*>(Qt::FindDirectChildrenOnly)) {
        disconnect(session, nullptr, this, nullptr);
        delete session;
    }
    delete m_search;
    m_search = nullptr;
}

quint16 PjlinkFront::portOf(int index) const {
    for (const auto& port : m_ports) {
        if (port->index == index)
            return port->server && port->server->isListening() ? port->server->serverPort() : 0;
    }
    return 0;
}

int PjlinkFront::clientsOn(int index) const {
    for (const auto& port : m_ports) {
        if (port->index == index)
            return port->clients;
    }
    return 0;
}

void PjlinkFront::accept(Port& port) {
    const Session::Timing timing{m_options.idleMs, m_options.lineMs, m_options.digestMs};
    while (QTcpSocket* socket = port.server->nextPendingConnection()) {
        if (port.clients >= kMaxClientsPerPort) {
            // Clients that trickle bytes or never send a command must not keep the room
            // controller out: the oldest of them makes room.
            const auto unproven = std::find_if(port.sessions.begin(), port.sessions.end(),
                                               [](const Session* s) { return !s->answered(); });
            if (unproven != port.sessions.end())
                (*unproven)->drop();
        }
        if (port.clients >= kMaxClientsPerPort) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        ++port.clients;
        auto* session = new Session(socket, *port.responder, port.password, timing, this);
        port.sessions.push_back(session);
        Port* p = &port;
        connect(session, &Session::closed, this, [p, session] {
            --p->clients;
            p->sessions.erase(std::find(p->sessions.begin(), p->sessions.end(), session));
        });
    }
}

QByteArray PjlinkFront::searchAnswer() const {
    return "%2ACKN=" + macFor(m_options.address) + '\r';
}

// "%2SRCH" CR from anyone, without a password, as the standard has it.
void PjlinkFront::answerSearch() {
    while (m_search && m_search->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_search->receiveDatagram(kMaxSearchDatagram);
        QByteArray text = datagram.data();
        while (!text.isEmpty() && text.front() == '\0')
            text.remove(0, 1);
        while (!text.isEmpty() && (text.back() == '\r' || text.back() == '\n'))
            text.chop(1);
        if (text.toUpper() != "%2SRCH" || datagram.senderAddress().isNull())
            continue;
        m_search->writeDatagram(searchAnswer(), datagram.senderAddress(), m_options.searchPort);
    }
}

} // namespace tavo::gateway::pjlink
