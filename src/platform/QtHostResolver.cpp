#include "platform/QtHostResolver.h"

#include <QHostInfo>

void QtHostResolver::resolve(const QString& name, QObject* context, Done done) {
    QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo& info) {
        const QList<QHostAddress> addresses = info.addresses();
        for (const QHostAddress& address : addresses) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol ||
                address.protocol() == QAbstractSocket::IPv6Protocol) {
                done(address);
                return;
            }
        }
        done(QHostAddress());
    });
}
