#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

struct Channel;
struct ChannelMessage;

// The HTTP request that delivers one message through a channel of an HTTP
// kind (webhook, DingTalk, Feishu, WeCom, Telegram, ntfy).
struct ChannelRequest {
    Q_DECLARE_TR_FUNCTIONS(ChannelRequest)
public:
    QByteArray url;                          // encoded; may hold the secret
    QString method = QStringLiteral("POST"); // POST or PUT
    QList<QByteArray> headers;               // "Name: value" each
    QByteArray body;
    // What no reason may show: the secret, a signature made with it, a URL
    // that carries it.
    QStringList hidden;
    // Why the channel's settings make no request; empty when they do.
    QString problem;

    // nowMs is the time the signatures of DingTalk and Feishu carry.
    static ChannelRequest build(const Channel& channel, const ChannelMessage& message,
                                qint64 nowMs);
};
