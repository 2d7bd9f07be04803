#include "tls/TlsSession.h"

#include "tls/TlsContext.h"
#include "tls/TlsPeerName.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {

// What the session reads from the peer's records at once.
constexpr qsizetype ReadChunk = 16 * 1024;

// Sets the name the certificate must carry, and SNI for a host name. False
// when the name is unusable.
bool setPeerName(SSL* ssl, const QString& peerName) {
    if (!TlsPeerName::setChecked(SSL_get0_param(ssl), peerName))
        return false;
    const QByteArray sni = TlsPeerName::serverNameIndication(peerName);
    // SSL_set_tlsext_host_name, without the macro's cast.
    return sni.isEmpty() || SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                                     const_cast<char*>(sni.constData())) == 1;
}

} // namespace

TlsSession::TlsSession(std::shared_ptr<TlsContext> context, const QString& peerName)
    : m_context(std::move(context)) {
    ERR_clear_error();
    if (!m_context->handle() || !m_context->error().isEmpty()) {
        m_failure = m_context->error();
        return;
    }
    m_ssl = SSL_new(m_context->handle());
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    if (!m_ssl || !m_in || !m_out) {
        BIO_free(m_in);
        BIO_free(m_out);
        SSL_free(m_ssl);
        m_ssl = nullptr;
        m_failure = describeFailure(0);
        return;
    }
    // An empty input buffer asks for more until the peer's end is known.
    BIO_set_mem_eof_return(m_in, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_connect_state(m_ssl);
    if (!setPeerName(m_ssl, peerName)) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
        m_failure = tr("无效的服务器名称:%1").arg(peerName);
    }
    ERR_clear_error();
}

TlsSession::~TlsSession() {
    SSL_free(m_ssl);
}

void TlsSession::receive(QByteArrayView bytes) {
    if (m_ssl && !bytes.isEmpty())
        BIO_write(m_in, bytes.data(), int(bytes.size()));
}

void TlsSession::receiveEnd() {
    m_ended = true;
    if (m_ssl)
        BIO_set_mem_eof_return(m_in, 0);
}

QByteArray TlsSession::takeOutgoing() {
    QByteArray bytes;
    if (!m_ssl)
        return bytes;
    bytes.resize(qsizetype(BIO_ctrl_pending(m_out)));
    if (!bytes.isEmpty())
        bytes.resize(qMax(0, BIO_read(m_out, bytes.data(), int(bytes.size()))));
    return bytes;
}

TlsSession::Progress TlsSession::handshake() {
    if (!m_ssl)
        return Progress::Failed;
    if (!m_handshakeTimer.isValid())
        m_handshakeTimer.start();
    ERR_clear_error();
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_handshakeUs = m_handshakeTimer.nsecsElapsed() / 1000;
        return Progress::Done;
    }
    const int error = SSL_get_error(m_ssl, result);
    if (!m_ended && (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE))
        return Progress::NeedsMore;
    m_failure = describeFailure(result);
    return Progress::Failed;
}

bool TlsSession::write(QByteArrayView plaintext) {
    if (!m_ssl)
        return false;
    ERR_clear_error();
    size_t written = 0;
    // Memory buffers take everything at once.
    if (plaintext.isEmpty() ||
        SSL_write_ex(m_ssl, plaintext.data(), size_t(plaintext.size()), &written) == 1)
        return true;
    m_failure = describeFailure(0);
    return false;
}

TlsSession::Read TlsSession::read(QByteArray& into, qsizetype limit) {
    if (!m_ssl)
        return Read::Failed;
    ERR_clear_error();
    while (into.size() < limit) {
        const qsizetype start = into.size();
        into.resize(start + qMin(ReadChunk, limit - start));
        size_t got = 0;
        const int result =
            SSL_read_ex(m_ssl, into.data() + start, size_t(into.size() - start), &got);
        into.resize(start + qsizetype(got));
        if (result == 1)
            continue;
        const int error = SSL_get_error(m_ssl, result);
        if (error == SSL_ERROR_WANT_READ)
            return Read::Waiting;
        // Without close_notify the end is as good as an orderly close: the
        // probe has the reply it takes, or no reply.
        if (error == SSL_ERROR_ZERO_RETURN ||
            (m_ended && (error == SSL_ERROR_SYSCALL ||
                         ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING))) {
            ERR_clear_error();
            return Read::Closed;
        }
        m_failure = describeFailure(result);
        return Read::Failed;
    }
    return Read::Waiting;
}

QString TlsSession::describeFailure(int result) {
    const unsigned long code = ERR_peek_error();
    QString text;
    if (const char* reason = code ? ERR_reason_error_string(code) : nullptr)
        text = QString::fromUtf8(reason);
    else if (code) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text = QString::fromLatin1(buffer);
    } else if (m_ended)
        text = tr("对方关闭了连接");
    else
        text = tr("未知错误(%1)").arg(m_ssl ? SSL_get_error(m_ssl, result) : 0);
    ERR_clear_error();
    return text;
}
