#pragma once

#include <QCoreApplication>
#include <QString>

#include <openssl/types.h>

#include <memory>

// The OpenSSL client context of every TLS probe that trusts the same
// certificates: the system's trust store plus an optional CA file. One is
// shared by all sessions with the same CA file, so loading the trust store
// is paid once, not once per row.
class TlsContext final {
    Q_DECLARE_TR_FUNCTIONS(TlsContext)
    Q_DISABLE_COPY_MOVE(TlsContext)
public:
    // The context for caFile (empty: the trust store alone), made now unless
    // another holder keeps one alive. Safe to call from any thread.
    static std::shared_ptr<TlsContext> forCaFile(const QString& caFile);
    ~TlsContext();

    QString caFile() const { return m_caFile; }
    // nullptr when the context could not be made; error() says why.
    SSL_CTX* handle() const { return m_context; }
    // Why sessions of this context cannot start: empty when they can.
    QString error() const { return m_error; }

private:
    explicit TlsContext(const QString& caFile);

    QString m_caFile;
    SSL_CTX* m_context = nullptr;
    QString m_error;
};
