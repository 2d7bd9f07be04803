#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>

struct Channel;
struct ChannelMessage;

// The SMTP transfer that delivers one message through an e-mail channel:
// where to, how secured, the envelope and the whole message.
struct EmailRequest {
    Q_DECLARE_TR_FUNCTIONS(EmailRequest)
public:
    QByteArray url;               // smtp://host:port or smtps://host:port
    bool requireStartTls = false; // STARTTLS before anything else, or nothing is sent
    QString user;                 // empty: no login
    QString password;             // the channel's secret
    QByteArray from;              // the envelope's sender
    QList<QByteArray> recipients; // the envelope's recipients
    QByteArray content;           // the message (RFC 5322), CRLF line ends
    // Why the channel's settings make no transfer; empty when they do.
    QString problem;

    // nowMs stamps the message's Date.
    static EmailRequest build(const Channel& channel, const ChannelMessage& message, qint64 nowMs);
};
