#include "tls/TlsPeerName.h"

#include <QHostAddress>
#include <QUrl>
#include <QtEndian>

#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

bool TlsPeerName::setChecked(X509_VERIFY_PARAM* param, const QString& peerName) {
    QHostAddress address;
    if (address.setAddress(peerName)) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            const quint32 ip = qToBigEndian(address.toIPv4Address());
            return X509_VERIFY_PARAM_set1_ip(param, reinterpret_cast<const unsigned char*>(&ip),
                                             sizeof ip) == 1;
        }
        const Q_IPV6ADDR ip = address.toIPv6Address();
        return X509_VERIFY_PARAM_set1_ip(param, ip.c, sizeof ip.c) == 1;
    }
    const QByteArray ace = QUrl::toAce(peerName);
    if (ace.isEmpty())
        return false;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return X509_VERIFY_PARAM_set1_host(param, ace.constData(), size_t(ace.size())) == 1;
}

QByteArray TlsPeerName::serverNameIndication(const QString& peerName) {
    if (QHostAddress address; address.setAddress(peerName))
        return {};
    return QUrl::toAce(peerName);
}
