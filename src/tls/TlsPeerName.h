#pragma once

#include <QByteArray>
#include <QString>

#include <openssl/types.h>

// The name a server's certificate must carry, as OpenSSL checks it while it
// verifies the chain: a host name (in its ASCII form) or an address literal
// (against the certificate's IP entries).
namespace TlsPeerName {
// Sets the name in param; false when it cannot be one.
bool setChecked(X509_VERIFY_PARAM* param, const QString& peerName);
// The ASCII form of a host name, sent as SNI; empty for an address, which
// SNI cannot carry, and for a name that has none.
QByteArray serverNameIndication(const QString& peerName);
} // namespace TlsPeerName
