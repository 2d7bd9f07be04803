#include "platform/SocketAddress.h"

#include <QNetworkInterface>

#include <netinet/in.h>

#include <cstring>

bool toSocketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& storage,
                     socklen_t& length) {
    storage = sockaddr_storage{};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in;
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        if (const QString scope = address.scopeId(); !scope.isEmpty()) {
            bool numeric = false;
            const uint index = scope.toUInt(&numeric);
            in6->sin6_scope_id =
                numeric ? index : uint(QNetworkInterface::interfaceIndexFromName(scope));
        }
        length = sizeof *in6;
        return true;
    }
    return false;
}
