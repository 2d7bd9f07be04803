#include "platform/QtHostResolver.h"

#include <QHostInfo>

#include <memory>

void QtHostResolver::resolve(const QString& name, QObject* context, Done done) {
    // Aborting is undone once the answer has come, so a finished lookup is
    // never aborted.
    auto abortWhenGone = std::make_shared<QMetaObject::Connection>();
    const int id = QHostInfo::lookupHost(
        name, context, [done = std::move(done), abortWhenGone](const QHostInfo& info) {
            QObject::disconnect(*abortWhenGone);
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
    *abortWhenGone =
        QObject::connect(context, &QObject::destroyed, [id] { QHostInfo::abortHostLookup(id); });
}
