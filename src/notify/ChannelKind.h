#pragma once

#include <QList>
#include <QString>

#include <optional>

// The kinds of notification channel, stored by key in Channels.Kind.
enum class ChannelKind { Webhook, Email, DingTalk, Feishu, WeCom, Telegram, Ntfy, Command };

namespace ChannelKinds {

QList<ChannelKind> all();
// "webhook", "email", "dingtalk", "feishu", "wecom", "telegram", "ntfy", "command".
QString key(ChannelKind kind);
std::optional<ChannelKind> ofKey(const QString& key);
// The name the operator reads, in the interface language.
QString text(ChannelKind kind);

} // namespace ChannelKinds
