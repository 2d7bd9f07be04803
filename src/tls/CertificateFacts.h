#pragma once

#include "tls/TlsFault.h"

#include <QString>

#include <openssl/types.h>

#include <array>

// What a probe keeps of one completed handshake: a few short facts about the
// server's certificates and the connection, never the certificates
// themselves, so a huge or long chain costs no more than a small one.
struct CertificateFacts {
    enum class Verification : quint8 { Ok, Expired, Untrusted, NameMismatch };
    static constexpr qsizetype NameLimit = 256; // characters kept of a subject or issuer

    // The facts of the handshake ssl has completed: read from the verified
    // chain, or from the chain the server presented when verification failed.
    static CertificateFacts read(const SSL* ssl);
    // The kind of a verification result code of OpenSSL.
    static Verification verificationOf(long code);
    // Whole days from now until notAfter, rounded down: negative once past.
    static qint64 daysUntil(qint64 notAfter, qint64 nowUtcMs);

    qint64 daysLeft(qint64 nowUtcMs) const { return daysUntil(chainNotAfter, nowUtcMs); }
    // The fault a probe that does not ignore certificate errors sees: None
    // for a verified certificate.
    TlsFault::Kind faultKind() const;
    QString verifyText() const; // OpenSSL's text for verifyCode
    QString fingerprintHex() const;

    QString subject; // the leaf's, on one line, at most NameLimit characters
    QString issuer;
    qint64 leafNotAfter = 0;  // seconds since 1970 UTC
    qint64 chainNotAfter = 0; // the earliest not-after over the chain
    Verification verification = Verification::Untrusted;
    int verifyCode = 0;
    // Whether the leaf carries the name it was checked against, whatever
    // else verification found.
    bool nameMatches = false;
    QString protocol; // as OpenSSL names it, e.g. "TLSv1.3"
    QString cipher;
    std::array<quint8, 32> fingerprint{}; // SHA-256 of the leaf
};
