#include "PeerAllowList.h"

#include <QStringList>

namespace tavo::gateway::share {

PeerAllowList::PeerAllowList() {
    m_subnets << QHostAddress::parseSubnet(QStringLiteral("127.0.0.0/8"))
              << QHostAddress::parseSubnet(QStringLiteral("::1/128"));
}

std::optional<PeerAllowList> PeerAllowList::parse(const QString& text, QString* error) {
    PeerAllowList list;
    list.m_subnets.clear();
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QString item = part.trimmed();
        QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(item);
        if (!item.contains(QLatin1Char('/')) && !QHostAddress(item).isNull())
            subnet = {QHostAddress(item),
                      QHostAddress(item).protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        if (subnet.first.isNull()) {
            if (error)
                *error = QStringLiteral("\"%1\" is not an address or ADDRESS/BITS").arg(item);
            return std::nullopt;
        }
        list.m_subnets << subnet;
    }
    return list;
}

bool PeerAllowList::admits(const QHostAddress& peer) const {
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    const QHostAddress address = mapped ? QHostAddress(v4) : peer;
    for (const auto& subnet : m_subnets)
        if (address.isInSubnet(subnet))
            return true;
    return false;
}

QString PeerAllowList::toString() const {
    QStringList parts;
    for (const auto& [address, bits] : m_subnets)
        parts << QStringLiteral("%1/%2").arg(address.toString()).arg(bits);
    return parts.join(QLatin1Char(','));
}

} // namespace tavo::gateway::share
