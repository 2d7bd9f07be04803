#pragma once

#include "tls/TlsOptions.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// The plaintext exchange that asks a server to turn its connection into TLS:
// SMTP (220, EHLO, 250, STARTTLS, 220), IMAP (* OK, a1 CAPABILITY, a1 OK,
// a2 STARTTLS, a2 OK), POP3 (+OK, CAPA, its list up to ".", STLS, +OK) and
// FTP (220, AUTH TLS, 234). Fed with the bytes received, it hands back the
// lines to send, until the server agreed to the upgrade or answered
// anything else. Lines and the whole exchange are bounded: a server that
// sends more is refused, not buffered.
class StartTlsDialogue final {
    Q_DECLARE_TR_FUNCTIONS(StartTlsDialogue)
    Q_DISABLE_COPY_MOVE(StartTlsDialogue)
public:
    enum class Outcome { Continue, Upgrade, Refused };
    static constexpr qsizetype LineLimit = 4096;      // bytes of one line
    static constexpr qsizetype ReadLimit = 32 * 1024; // bytes of the whole exchange

    // transport is one of the STARTTLS transports.
    explicit StartTlsDialogue(Transport transport);

    // Takes bytes received and appends what to send back to toSend. Once the
    // server agreed, bytes after its answer are dropped: a server may send
    // nothing before the TLS handshake, and nothing it sent in plaintext is
    // taken for part of it.
    Outcome receive(QByteArrayView bytes, QByteArray& toSend);
    // The server ended its stream.
    Outcome receiveEnd();
    // Why the exchange was refused.
    QString reason() const { return m_reason; }

private:
    enum class Step : quint8 { Greeting, Capabilities, Upgrade };
    enum class Verdict : quint8 { More, Complete, Wrong };

    Outcome takeLine(QByteArrayView line, QByteArray& toSend);
    Verdict judge(QByteArrayView line);
    Verdict codedReply(QByteArrayView line, QByteArrayView code);
    Verdict imapReply(QByteArrayView line, QByteArrayView tagged);
    Verdict pop3Reply(QByteArrayView line);
    Outcome refuse(const QString& reason);

    Transport m_transport;
    Step m_step = Step::Greeting;
    Outcome m_outcome = Outcome::Continue;
    bool m_multiLine = false; // inside a multi-line reply or POP3's list
    qsizetype m_read = 0;
    QByteArray m_line; // the incomplete line received so far
    QString m_reason;
};
