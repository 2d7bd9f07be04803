#include "tls/TlsContext.h"

#include <QFile>
#include <QHash>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <mutex>

namespace {

QString lastErrorText() {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code ? ERR_reason_error_string(code) : nullptr;
    return reason ? QString::fromUtf8(reason) : QString();
}

} // namespace

std::shared_ptr<TlsContext> TlsContext::forCaFile(const QString& caFile) {
    static std::mutex mutex;
    static QHash<QString, std::weak_ptr<TlsContext>> contexts;
    const std::lock_guard lock(mutex);
    if (std::shared_ptr<TlsContext> held = contexts.value(caFile).lock())
        return held;
    contexts.removeIf([](const auto& entry) { return entry.value().expired(); });
    std::shared_ptr<TlsContext> made(new TlsContext(caFile));
    contexts.insert(caFile, made);
    return made;
}

TlsContext::TlsContext(const QString& caFile)
    : m_caFile(caFile) {
    ERR_clear_error();
    m_context = SSL_CTX_new(TLS_client_method());
    if (!m_context) {
        m_error = tr("无法建立TLS环境:%1").arg(lastErrorText());
        return;
    }
    // The handshake completes whatever the verification says; the probe
    // judges the result afterwards, so certificate facts are read also from
    // a certificate it refuses.
    SSL_CTX_set_verify(m_context, SSL_VERIFY_NONE, nullptr);
    // Record buffers go back while a connection waits for its reply.
    SSL_CTX_set_mode(m_context, SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_session_cache_mode(m_context, SSL_SESS_CACHE_OFF);
    // The system's trust is its folder of hashed certificates, read one by
    // one as chains need them: parsing the whole bundle up front would hold
    // the event loop for a tenth of a second. SSL_CERT_DIR and SSL_CERT_FILE
    // stand for the system's, as for every OpenSSL program.
    const QByteArray folder = qgetenv(X509_get_default_cert_dir_env());
    SSL_CTX_load_verify_dir(m_context,
                            folder.isEmpty() ? X509_get_default_cert_dir() : folder.constData());
    if (const QByteArray file = qgetenv(X509_get_default_cert_file_env()); !file.isEmpty())
        SSL_CTX_load_verify_file(m_context, file.constData());
    if (!caFile.isEmpty() &&
        SSL_CTX_load_verify_file(m_context, QFile::encodeName(caFile).constData()) != 1)
        m_error = tr("无法读取CA文件%1:%2").arg(caFile, lastErrorText());
    ERR_clear_error();
}

TlsContext::~TlsContext() {
    SSL_CTX_free(m_context);
}
