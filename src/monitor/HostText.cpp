#include "monitor/HostText.h"

#include <QHostAddress>

QString HostText(const QString& address) {
    if (!address.startsWith(QLatin1Char('[')) || !address.endsWith(QLatin1Char(']')))
        return address;
    const QString inner = address.mid(1, address.size() - 2);
    QHostAddress literal;
    if (!literal.setAddress(inner) || literal.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    return inner;
}
