#pragma once

#include <QByteArray>
#include <QString>

// The signatures of the robot webhooks that take a signing secret, each the
// base64 of an HMAC-SHA256.
namespace ChannelSignature {

// DingTalk: the secret is the key, "timestampMs\nsecret" the message.
QByteArray dingTalk(const QString& secret, qint64 timestampMs);
// Feishu: "timestampS\nsecret" is the key, the message is empty.
QByteArray feishu(const QString& secret, qint64 timestampS);

} // namespace ChannelSignature
