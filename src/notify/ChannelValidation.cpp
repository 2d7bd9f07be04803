#include "notify/ChannelValidation.h"

#include "http/HttpHeaderLines.h"
#include "http/HttpUrl.h"
#include "notify/WebhookTemplate.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace ChannelValidation {

namespace {

QString textOf(const Channel& channel, const char* key) {
    return channel.settings.value(QLatin1String(key)).toString().trimmed();
}

// A JSON number without a fraction, within [low, high].
bool wholeNumberIn(const QJsonValue& value, int low, int high) {
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return std::floor(number) == number && number >= low && number <= high;
}

bool hasBlankOrControl(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

// The URL's own reason, after the field's name where the kind has more than
// one address.
QString urlProblem(const Channel& channel, const char* key, const QString& field = {}) {
    QString reason;
    if (HttpUrl::parse(textOf(channel, key), &reason))
        return {};
    return field.isEmpty()
               ? reason
               : QCoreApplication::translate("ChannelValidation", "%1有误:%2").arg(field, reason);
}

QString addressProblem(const QString& address, const QString& mustHaveAt) {
    if (hasBlankOrControl(address))
        return QCoreApplication::translate("ChannelValidation",
                                           "邮件地址“%1”不能包含空格或控制字符！")
            .arg(address);
    if (!address.contains(QLatin1Char('@')))
        return mustHaveAt;
    return {};
}

QString webhookProblem(const Channel& channel) {
    if (QString problem = urlProblem(channel, "url"); !problem.isEmpty())
        return problem;
    const QString method = textOf(channel, "method");
    if (method != QLatin1String("POST") && method != QLatin1String("PUT"))
        return QCoreApplication::translate("ChannelValidation", "请求方法只能是 POST 或 PUT！");
    QString reason;
    if (!HttpHeaderLines::parse(channel.settings.value(QLatin1String("headers")).toString(),
                                &reason))
        return reason;
    return WebhookTemplate::jsonProblem(
        channel.settings.value(QLatin1String("template")).toString());
}

QString emailProblem(const Channel& channel) {
    const QString host = textOf(channel, "host");
    if (host.isEmpty())
        return QCoreApplication::translate("ChannelValidation", "SMTP服务器不能为空！");
    if (hasBlankOrControl(host))
        return QCoreApplication::translate("ChannelValidation",
                                           "SMTP服务器不能包含空格或控制字符！");
    if (!wholeNumberIn(channel.settings.value(QLatin1String("port")), 1, 65535))
        return QCoreApplication::translate("ChannelValidation",
                                           "SMTP端口必须是1到65535之间的整数！");
    const QString security = textOf(channel, "security");
    if (security != QLatin1String("none") && security != QLatin1String("starttls") &&
        security != QLatin1String("tls"))
        return QCoreApplication::translate("ChannelValidation",
                                           "加密方式只能是无、STARTTLS或TLS！");
    const QString from = textOf(channel, "from");
    if (QString problem = addressProblem(
            from, QCoreApplication::translate("ChannelValidation", "发件人地址必须包含“@”！"));
        !problem.isEmpty())
        return problem;
    const QJsonArray to = channel.settings.value(QLatin1String("to")).toArray();
    if (to.isEmpty())
        return QCoreApplication::translate("ChannelValidation", "请至少填写一个收件人！");
    for (const QJsonValue& value : to) {
        const QString address = value.toString().trimmed();
        if (QString problem =
                addressProblem(address, QCoreApplication::translate("ChannelValidation",
                                                                    "收件人地址“%1”必须包含“@”！")
                                            .arg(address));
            !problem.isEmpty())
            return problem;
    }
    return {};
}

QString weComProblem(const Channel& channel) {
    if (QString problem = urlProblem(channel, "url"); !problem.isEmpty())
        return problem;
    const QString format = textOf(channel, "format");
    if (format != QLatin1String("text") && format != QLatin1String("markdown"))
        return QCoreApplication::translate("ChannelValidation",
                                           "消息格式只能是 text 或 markdown！");
    return {};
}

QString telegramProblem(const Channel& channel) {
    if (QString problem =
            urlProblem(channel, "api", QCoreApplication::translate("ChannelValidation", "API地址"));
        !problem.isEmpty())
        return problem;
    if (channel.secret.trimmed().isEmpty())
        return QCoreApplication::translate("ChannelValidation", "Bot Token不能为空！");
    if (textOf(channel, "chat").isEmpty())
        return QCoreApplication::translate("ChannelValidation", "Chat ID不能为空！");
    return {};
}

// ntfy's own rule for topics; anything else would change the address the
// message is posted to.
QString ntfyProblem(const Channel& channel) {
    if (QString problem = urlProblem(channel, "url",
                                     QCoreApplication::translate("ChannelValidation", "服务器URL"));
        !problem.isEmpty())
        return problem;
    const QString topic = textOf(channel, "topic");
    if (topic.isEmpty())
        return QCoreApplication::translate("ChannelValidation", "主题不能为空！");
    static const QRegularExpression topicChars(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    if (!topicChars.match(topic).hasMatch())
        return QCoreApplication::translate("ChannelValidation",
                                           "主题只能由字母、数字、“-”和“_”组成,最长64个字符！");
    if (!wholeNumberIn(channel.settings.value(QLatin1String("priority")), 1, 5))
        return QCoreApplication::translate("ChannelValidation", "优先级必须是1到5之间的整数！");
    return {};
}

QString kindProblem(const Channel& channel) {
    switch (channel.kind) {
    case ChannelKind::Webhook:
        return webhookProblem(channel);
    case ChannelKind::Email:
        return emailProblem(channel);
    case ChannelKind::DingTalk:
    case ChannelKind::Feishu:
        return urlProblem(channel, "url");
    case ChannelKind::WeCom:
        return weComProblem(channel);
    case ChannelKind::Telegram:
        return telegramProblem(channel);
    case ChannelKind::Ntfy:
        return ntfyProblem(channel);
    case ChannelKind::Command:
        if (textOf(channel, "program").isEmpty())
            return QCoreApplication::translate("ChannelValidation", "程序不能为空！");
        return {};
    }
    return {};
}

} // namespace

QString problem(const Channel& channel, const QList<Channel>& others) {
    if (channel.name.trimmed().isEmpty())
        return QCoreApplication::translate("ChannelValidation", "通知渠道名称不能为空！");
    if (std::any_of(others.cbegin(), others.cend(), [&channel](const Channel& other) {
            return other.id != channel.id && other.name == channel.name;
        }))
        return QCoreApplication::translate("ChannelValidation",
                                           "已有名为“%1”的通知渠道,请换一个名称！")
            .arg(channel.name);
    if (QString problem = kindProblem(channel); !problem.isEmpty())
        return problem;
    if (channel.stormLimit < 0 || channel.stormLimit > MaxStormLimit)
        return QCoreApplication::translate("ChannelValidation",
                                           "告警合并阈值必须是0到%1之间的整数！")
            .arg(MaxStormLimit);
    return {};
}

} // namespace ChannelValidation
