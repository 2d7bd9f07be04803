#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

struct CertificateFacts;

// The certificate facts of a TLS handshake as the details window lists
// them, one "label:value" line each: subject, issuer, the leaf's and the
// chain's earliest expiry, days left, the verification result (with the
// Status text a refused certificate gives), host-name match, version,
// cipher, handshake time and fingerprint. Dates are UTC.
class CertificateFactsText final {
    Q_DECLARE_TR_FUNCTIONS(CertificateFactsText)
public:
    CertificateFactsText() = delete;

    // ignoreErrors: the server's probe ignores certificate errors, so a
    // failed verification is noted as ignored.
    static QStringList lines(const CertificateFacts& facts, qint64 handshakeUs, qint64 nowUtcMs,
                             bool ignoreErrors);
    // What the window shows for a TLS server before its first handshake.
    static QString noHandshake();

    static QString date(qint64 secondsUtc);
    static QString daysLeft(qint64 days);
    static QString verification(const CertificateFacts& facts, bool ignoreErrors);
    // The SHA-256 of the leaf as colon-separated upper-case pairs.
    static QString fingerprint(const CertificateFacts& facts);
};
