#pragma once

#include "tls/CertificateFacts.h"
#include "tls/TlsFault.h"
#include "tls/TlsOptions.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class StartTlsDialogue;
class TlsContext;
class TlsSession;

// The secured conversation of one connection: the STARTTLS exchange where
// the transport has one, then the TLS handshake and the judgement of the
// server's certificate, then plaintext both ways. It only moves bytes: its
// owner receives them from the socket and sends what it hands out.
class TlsLink final {
    Q_DISABLE_COPY_MOVE(TlsLink)
public:
    enum class State { Negotiating, Established, Closed, Failed };

    // address is the server's address, the name checked against its
    // certificate unless the options name another. At most plaintextLimit
    // bytes of received plaintext are held until taken.
    TlsLink(const TlsOptions& options, const QString& address, std::shared_ptr<TlsContext> context,
            qsizetype plaintextLimit);
    ~TlsLink();

    // Begins: the TLS handshake at once, or the wait for the greeting.
    void start();
    void receive(QByteArrayView bytes);
    void receiveEnd();
    // Whether bytes from the peer are of use now: false once failed or
    // closed, and while the plaintext received fills the limit.
    bool wantsInput() const;
    QByteArray takeOutgoing();

    // Plaintext to send, held back until the handshake is done; dropped
    // once the peer closed.
    void write(QByteArrayView plaintext);
    qsizetype plaintextSize() const { return m_plaintext.size(); }
    QByteArray takePlaintext();

    State state() const { return m_state; }
    const TlsFault& fault() const { return m_fault; }
    // The facts of the completed handshake, also when its certificate failed.
    const std::optional<CertificateFacts>& facts() const { return m_facts; }
    qint64 handshakeUs() const;

private:
    void startHandshake();
    void handshake();
    void readPlaintext();
    void fail(TlsFault::Kind kind, const QString& reason);

    TlsOptions m_options;
    QString m_address;
    std::shared_ptr<TlsContext> m_context;
    qsizetype m_plaintextLimit;
    State m_state = State::Negotiating;
    std::unique_ptr<StartTlsDialogue> m_dialogue; // until the server agreed
    std::unique_ptr<TlsSession> m_session;        // from the handshake on
    QByteArray m_outgoing;                        // the dialogue's lines
    QByteArray m_unsent;                          // plaintext written before the handshake
    QByteArray m_plaintext;                       // received, not yet taken
    TlsFault m_fault;
    std::optional<CertificateFacts> m_facts;
};
