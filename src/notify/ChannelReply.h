#pragma once

#include "notify/ChannelKind.h"
#include "notify/ChannelSender.h"

#include <QByteArray>
#include <QStringList>

// Whether the peer of an HTTP kind accepted a message, judged by its reply:
// webhook and ntfy by a 2xx status; DingTalk and WeCom also by errcode 0,
// Feishu by code 0 and Telegram by ok true in the JSON body, since these
// answer 200 to a bad signature or token.
namespace ChannelReply {

// The peer's words in a reason never show any of hidden, even in part.
SendOutcome judge(ChannelKind kind, int statusCode, const QByteArray& body,
                  const QStringList& hidden = {});

} // namespace ChannelReply
