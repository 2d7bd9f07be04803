#include "notify/ChannelKind.h"

#include <QCoreApplication>

namespace ChannelKinds {

QList<ChannelKind> all() {
    return {ChannelKind::Webhook, ChannelKind::Email,  ChannelKind::DingTalk,
            ChannelKind::Feishu,  ChannelKind::WeCom,  ChannelKind::Telegram,
            ChannelKind::Ntfy,    ChannelKind::Command};
}

QString key(ChannelKind kind) {
    switch (kind) {
    case ChannelKind::Webhook:
        return QStringLiteral("webhook");
    case ChannelKind::Email:
        return QStringLiteral("email");
    case ChannelKind::DingTalk:
        return QStringLiteral("dingtalk");
    case ChannelKind::Feishu:
        return QStringLiteral("feishu");
    case ChannelKind::WeCom:
        return QStringLiteral("wecom");
    case ChannelKind::Telegram:
        return QStringLiteral("telegram");
    case ChannelKind::Ntfy:
        return QStringLiteral("ntfy");
    case ChannelKind::Command:
        return QStringLiteral("command");
    }
    return {};
}

std::optional<ChannelKind> ofKey(const QString& text) {
    for (const ChannelKind kind : all())
        if (key(kind) == text)
            return kind;
    return std::nullopt;
}

QString text(ChannelKind kind) {
    switch (kind) {
    case ChannelKind::Webhook:
        return QStringLiteral("Webhook");
    case ChannelKind::Email:
        return QCoreApplication::translate("ChannelKinds", "电子邮件");
    case ChannelKind::DingTalk:
        return QCoreApplication::translate("ChannelKinds", "钉钉");
    case ChannelKind::Feishu:
        return QCoreApplication::translate("ChannelKinds", "飞书");
    case ChannelKind::WeCom:
        return QCoreApplication::translate("ChannelKinds", "企业微信");
    case ChannelKind::Telegram:
        return QStringLiteral("Telegram");
    case ChannelKind::Ntfy:
        return QStringLiteral("ntfy");
    case ChannelKind::Command:
        return QCoreApplication::translate("ChannelKinds", "命令");
    }
    return {};
}

} // namespace ChannelKinds
