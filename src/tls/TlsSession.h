#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <openssl/types.h>

#include <memory>

class TlsContext;

// An OpenSSL client session over memory buffers: it never touches a socket.
// The owner hands it the bytes received from the peer and sends the bytes it
// takes out, so the owner's own non-blocking socket tells resets from
// orderly closes and nothing blocks. The server's certificate is verified by
// OpenSSL against the peer name: a host name (also sent as SNI; a non-ASCII
// name in its ASCII form) or an address literal (checked against the
// certificate's IP entries). A failed verification does not stop the
// handshake: its result is the caller's to judge.
class TlsSession final {
    Q_DECLARE_TR_FUNCTIONS(TlsSession)
    Q_DISABLE_COPY_MOVE(TlsSession)
public:
    enum class Progress { Done, NeedsMore, Failed };
    enum class Read { Waiting, Closed, Failed };

    TlsSession(std::shared_ptr<TlsContext> context, const QString& peerName);
    ~TlsSession();

    // Bytes received from the peer; the end of its stream.
    void receive(QByteArrayView bytes);
    void receiveEnd();
    // The bytes to send to the peer now.
    QByteArray takeOutgoing();

    // Goes on with the handshake as far as the bytes received allow.
    Progress handshake();
    // How long the handshake took, from its first step to its last.
    qint64 handshakeUs() const { return m_handshakeUs; }
    const SSL* handle() const { return m_ssl; }

    // Encrypts plaintext for sending; false after a failure.
    bool write(QByteArrayView plaintext);
    // Appends the plaintext received so far to into until it holds limit
    // bytes. Records that carry none (session tickets, key updates) are
    // taken silently. Closed: the peer ended its stream, with or without
    // close_notify, and all its plaintext was read.
    Read read(QByteArray& into, qsizetype limit);
    // Why the last step failed.
    QString failure() const { return m_failure; }

private:
    QString describeFailure(int result);

    std::shared_ptr<TlsContext> m_context;
    SSL* m_ssl = nullptr;
    BIO* m_in = nullptr;  // owned by m_ssl
    BIO* m_out = nullptr; // owned by m_ssl
    bool m_ended = false;
    QElapsedTimer m_handshakeTimer;
    qint64 m_handshakeUs = 0;
    QString m_failure;
};
