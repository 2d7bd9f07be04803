#include "tls/TlsLink.h"

#include "tls/StartTlsDialogue.h"
#include "tls/TlsContext.h"
#include "tls/TlsSession.h"

TlsLink::TlsLink(const TlsOptions& options, const QString& address,
                 std::shared_ptr<TlsContext> context, qsizetype plaintextLimit)
    : m_options(options)
    , m_address(address)
    , m_context(std::move(context))
    , m_plaintextLimit(plaintextLimit) {}

TlsLink::~TlsLink() = default;

void TlsLink::start() {
    if (m_options.transport == Transport::Tls)
        startHandshake();
    else
        m_dialogue = std::make_unique<StartTlsDialogue>(m_options.transport);
}

void TlsLink::startHandshake() {
    m_dialogue.reset();
    m_session = std::make_unique<TlsSession>(
        m_context, m_options.serverName.isEmpty() ? m_address : m_options.serverName);
    handshake();
}

void TlsLink::receive(QByteArrayView bytes) {
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    if (m_dialogue) {
        switch (m_dialogue->receive(bytes, m_outgoing)) {
        case StartTlsDialogue::Outcome::Continue:
            return;
        case StartTlsDialogue::Outcome::Refused:
            fail(TlsFault::Kind::NoStartTls, m_dialogue->reason());
            return;
        case StartTlsDialogue::Outcome::Upgrade:
            startHandshake();
            return;
        }
    }
    if (!m_session)
        return;
    m_session->receive(bytes);
    if (m_state == State::Negotiating)
        handshake();
    else
        readPlaintext();
}

void TlsLink::receiveEnd() {
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    if (m_dialogue) {
        m_dialogue->receiveEnd();
        fail(TlsFault::Kind::NoStartTls, m_dialogue->reason());
        return;
    }
    if (!m_session)
        return;
    m_session->receiveEnd();
    if (m_state == State::Negotiating)
        handshake();
    else
        readPlaintext();
}

bool TlsLink::wantsInput() const {
    return m_state == State::Negotiating ||
           (m_state == State::Established && m_plaintext.size() < m_plaintextLimit);
}

QByteArray TlsLink::takeOutgoing() {
    QByteArray bytes = std::exchange(m_outgoing, QByteArray());
    if (m_session)
        bytes += m_session->takeOutgoing();
    return bytes;
}

// After the peer closed, plaintext goes nowhere, as on a plain connection.
void TlsLink::write(QByteArrayView plaintext) {
    if (m_state == State::Negotiating)
        m_unsent += plaintext;
    else if (m_state == State::Established && !m_session->write(plaintext))
        fail(TlsFault::Kind::Broken, m_session->failure());
}

QByteArray TlsLink::takePlaintext() {
    QByteArray bytes = std::exchange(m_plaintext, QByteArray());
    if (m_state == State::Established)
        readPlaintext();
    return bytes;
}

qint64 TlsLink::handshakeUs() const {
    return m_session ? m_session->handshakeUs() : 0;
}

// The certificate is judged once the handshake is done: a fault unless the
// operator ignores certificate errors, in which case its facts are kept all
// the same.
void TlsLink::handshake() {
    switch (m_session->handshake()) {
    case TlsSession::Progress::NeedsMore:
        return;
    case TlsSession::Progress::Failed:
        fail(TlsFault::Kind::HandshakeFailed, m_session->failure());
        return;
    case TlsSession::Progress::Done:
        break;
    }
    m_facts = CertificateFacts::read(m_session->handle());
    if (const TlsFault::Kind kind = m_facts->faultKind();
        kind != TlsFault::Kind::None && !m_options.ignoreErrors) {
        fail(kind, m_facts->verifyText());
        return;
    }
    m_state = State::Established;
    if (!m_unsent.isEmpty())
        write(std::exchange(m_unsent, QByteArray()));
    readPlaintext();
}

void TlsLink::readPlaintext() {
    if (m_state != State::Established || m_plaintext.size() >= m_plaintextLimit)
        return;
    switch (m_session->read(m_plaintext, m_plaintextLimit)) {
    case TlsSession::Read::Waiting:
        return;
    case TlsSession::Read::Closed:
        m_state = State::Closed;
        return;
    case TlsSession::Read::Failed:
        fail(TlsFault::Kind::Broken, m_session->failure());
        return;
    }
}

void TlsLink::fail(TlsFault::Kind kind, const QString& reason) {
    m_state = State::Failed;
    m_fault = {kind, reason};
    m_dialogue.reset();
    m_unsent = QByteArray();
}
