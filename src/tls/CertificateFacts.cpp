#include "tls/CertificateFacts.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

namespace {

constexpr qint64 DayMs = 24 * 3600 * 1000;

qint64 secondsOf(const ASN1_TIME* time) {
    std::tm fields{};
    if (!time || ASN1_TIME_to_tm(time, &fields) != 1)
        return 0;
    return qint64(timegm(&fields));
}

// A name on one line (control characters escaped, other characters as
// UTF-8), cut to NameLimit characters.
QString oneLine(const X509_NAME* name) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!name || !bio ||
        X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return {};
    char* data = nullptr;
    // BIO_get_mem_data, without the macro's cast.
    const long size = BIO_ctrl(bio.get(), BIO_CTRL_INFO, 0, &data);
    constexpr qsizetype limit = CertificateFacts::NameLimit;
    // A character takes at most four bytes: the first limit characters are
    // whole in this many.
    QString text = QString::fromUtf8(data, qMin<qsizetype>(size, 4 * limit + 4));
    if (text.size() > limit) {
        const qsizetype kept = text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
        text = text.left(kept) + QStringLiteral("…");
    }
    text.squeeze();
    return text;
}

// Whether the leaf carries the host name or address the session checks:
// verification stops at its first error, so its result alone does not
// tell for a certificate it refused for another reason.
bool carriesPeerName(const SSL* ssl, X509* leaf) {
    X509_VERIFY_PARAM* param = SSL_get0_param(const_cast<SSL*>(ssl));
    if (const char* host = X509_VERIFY_PARAM_get0_host(param, 0))
        return X509_check_host(leaf, host, 0, X509_VERIFY_PARAM_get_hostflags(param), nullptr) == 1;
    const std::unique_ptr<char, void (*)(char*)> address(X509_VERIFY_PARAM_get1_ip_asc(param),
                                                         [](char* text) { OPENSSL_free(text); });
    return address && X509_check_ip_asc(leaf, address.get(), 0) == 1;
}

} // namespace

CertificateFacts CertificateFacts::read(const SSL* ssl) {
    CertificateFacts facts;
    facts.verifyCode = int(SSL_get_verify_result(ssl));
    facts.verification = verificationOf(facts.verifyCode);
    facts.protocol = QString::fromLatin1(SSL_get_version(ssl));
    if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl))
        facts.cipher = QString::fromLatin1(SSL_CIPHER_get_name(cipher));
    X509* leaf = SSL_get0_peer_certificate(ssl);
    if (!leaf)
        return facts;
    facts.subject = oneLine(X509_get_subject_name(leaf));
    facts.issuer = oneLine(X509_get_issuer_name(leaf));
    facts.leafNotAfter = secondsOf(X509_get0_notAfter(leaf));
    facts.nameMatches = carriesPeerName(ssl, leaf);
    unsigned int length = 0;
    X509_digest(leaf, EVP_sha256(), facts.fingerprint.data(), &length);
    // The verified chain, which may end in another root than the one the
    // server sends: an expired cross-signed root it still sends is no part
    // of it.
    const STACK_OF(X509)* chain = facts.verification == Verification::Ok
                                      ? SSL_get0_verified_chain(ssl)
                                      : SSL_get_peer_cert_chain(ssl);
    facts.chainNotAfter = facts.leafNotAfter;
    for (int i = 0; chain && i < sk_X509_num(chain); ++i) {
        const qint64 notAfter = secondsOf(X509_get0_notAfter(sk_X509_value(chain, i)));
        if (notAfter != 0 && notAfter < facts.chainNotAfter)
            facts.chainNotAfter = notAfter;
    }
    return facts;
}

CertificateFacts::Verification CertificateFacts::verificationOf(long code) {
    switch (code) {
    case X509_V_OK:
        return Verification::Ok;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return Verification::Expired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return Verification::NameMismatch;
    default:
        return Verification::Untrusted;
    }
}

TlsFault::Kind CertificateFacts::faultKind() const {
    switch (verification) {
    case Verification::Ok:
        break;
    case Verification::Expired:
        return TlsFault::Kind::Expired;
    case Verification::Untrusted:
        return TlsFault::Kind::Untrusted;
    case Verification::NameMismatch:
        return TlsFault::Kind::NameMismatch;
    }
    return TlsFault::Kind::None;
}

qint64 CertificateFacts::daysUntil(qint64 notAfter, qint64 nowUtcMs) {
    const qint64 ms = notAfter * 1000 - nowUtcMs;
    return ms >= 0 ? ms / DayMs : -((-ms + DayMs - 1) / DayMs);
}

QString CertificateFacts::verifyText() const {
    return QString::fromUtf8(X509_verify_cert_error_string(verifyCode));
}

QString CertificateFacts::fingerprintHex() const {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(fingerprint.data()), qsizetype(fingerprint.size()))
            .toHex());
}
