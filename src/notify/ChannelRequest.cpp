#include "notify/ChannelRequest.h"

#include "http/HttpHeaderLines.h"
#include "notify/Channel.h"
#include "notify/ChannelMessage.h"
#include "notify/ChannelSignature.h"
#include "notify/MimeWords.h"
#include "notify/WebhookTemplate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

const QByteArray JsonType = QByteArrayLiteral("Content-Type: application/json; charset=utf-8");
const QString TelegramApi = QStringLiteral("https://api.telegram.org");

QString setting(const Channel& channel, const QString& key) {
    return channel.settings.value(key).toString().trimmed();
}

// An http or https URL with a host, encoded; empty otherwise.
QByteArray webUrl(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url.toEncoded();
}

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString titleAndMessage(const ChannelMessage& message) {
    return message.title + QLatin1Char('\n') + message.message;
}

QByteArray textOf(const QString& key, const QString& content) {
    return json({{QStringLiteral("msgtype"), key},
                 {key, QJsonObject{{QStringLiteral("content"), content}}}});
}

// The query parameters go before any fragment, after any query the URL has.
QByteArray withQuery(const QByteArray& url, const QByteArray& parameters) {
    const qsizetype hash = url.indexOf('#');
    const QByteArray head = hash < 0 ? url : url.left(hash);
    return head + (head.contains('?') ? '&' : '?') + parameters;
}

bool hasHeader(const QList<QByteArray>& headers, QByteArrayView name) {
    for (const QByteArray& header : headers) {
        const qsizetype colon = header.indexOf(':');
        if (header.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void webhook(ChannelRequest& request, const Channel& channel, const ChannelMessage& message) {
    const QString method = setting(channel, QStringLiteral("method")).toUpper();
    if (!method.isEmpty() && method != QLatin1String("POST") && method != QLatin1String("PUT")) {
        request.problem = ChannelRequest::tr("请求方法%1不可用:只能是POST或PUT").arg(method);
        return;
    }
    if (!method.isEmpty())
        request.method = method;
    QString reason;
    const std::optional<QList<QByteArray>> headers = HttpHeaderLines::parse(
        channel.settings.value(QStringLiteral("headers")).toString(), &reason);
    if (!headers) {
        request.problem = ChannelRequest::tr("请求头有误:%1").arg(reason);
        return;
    }
    request.body = WebhookTemplate::render(
        channel.settings.value(QStringLiteral("template")).toString(), message);
    if (!hasHeader(*headers, "Content-Type")) {
        QJsonParseError error;
        QJsonDocument::fromJson(request.body, &error);
        request.headers << (error.error == QJsonParseError::NoError
                                ? JsonType
                                : QByteArrayLiteral("Content-Type: text/plain; charset=utf-8"));
    }
    if (!message.dedupKey.isEmpty())
        request.headers << "X-Servermon-Dedup-Key: " + MimeWords::encode(message.dedupKey, " ");
    request.headers << *headers;
}

void dingTalk(ChannelRequest& request, const Channel& channel, const ChannelMessage& message,
              qint64 nowMs) {
    if (!channel.secret.isEmpty()) {
        const QByteArray sign = ChannelSignature::dingTalk(channel.secret, nowMs);
        const QByteArray encoded = QUrl::toPercentEncoding(QString::fromLatin1(sign));
        request.url =
            withQuery(request.url, "timestamp=" + QByteArray::number(nowMs) + "&sign=" + encoded);
        request.hidden << QString::fromLatin1(sign) << QString::fromLatin1(encoded);
    }
    request.headers << JsonType;
    request.body = textOf(QStringLiteral("text"), titleAndMessage(message));
}

void feishu(ChannelRequest& request, const Channel& channel, const ChannelMessage& message,
            qint64 nowMs) {
    QJsonObject body{{QStringLiteral("msg_type"), QStringLiteral("text")},
                     {QStringLiteral("content"),
                      QJsonObject{{QStringLiteral("text"), titleAndMessage(message)}}}};
    if (!channel.secret.isEmpty()) {
        const qint64 seconds = nowMs / 1000;
        body.insert(QStringLiteral("timestamp"), QString::number(seconds));
        const QString sign = QString::fromLatin1(ChannelSignature::feishu(channel.secret, seconds));
        body.insert(QStringLiteral("sign"), sign);
        request.hidden << sign;
    }
    request.headers << JsonType;
    request.body = json(body);
}

void weCom(ChannelRequest& request, const Channel& channel, const ChannelMessage& message) {
    const QString format = setting(channel, QStringLiteral("format"));
    request.headers << JsonType;
    if (format == QLatin1String("markdown"))
        request.body =
            textOf(QStringLiteral("markdown"),
                   QStringLiteral("**") + message.title + QStringLiteral("**\n") + message.message);
    else
        request.body = textOf(QStringLiteral("text"), titleAndMessage(message));
}

void telegram(ChannelRequest& request, const Channel& channel, const ChannelMessage& message) {
    const QString chat = setting(channel, QStringLiteral("chat"));
    if (channel.secret.isEmpty()) {
        request.problem = ChannelRequest::tr("Telegram设置有误:没有机器人令牌");
        return;
    }
    if (chat.isEmpty()) {
        request.problem = ChannelRequest::tr("Telegram设置有误:没有chat id");
        return;
    }
    while (request.url.endsWith('/'))
        request.url.chop(1);
    request.url += "/bot" + QUrl::toPercentEncoding(channel.secret, ":") + "/sendMessage";
    request.hidden << QString::fromUtf8(request.url);
    request.headers << JsonType;
    request.body = json(
        {{QStringLiteral("chat_id"), chat}, {QStringLiteral("text"), titleAndMessage(message)}});
}

void ntfy(ChannelRequest& request, const Channel& channel, const ChannelMessage& message) {
    const QString topic = setting(channel, QStringLiteral("topic"));
    if (topic.isEmpty()) {
        request.problem = ChannelRequest::tr("ntfy设置有误:没有主题");
        return;
    }
    const int priority = channel.settings.value(QStringLiteral("priority")).toInt(3);
    while (request.url.endsWith('/'))
        request.url.chop(1);
    request.url += '/' + QUrl::toPercentEncoding(topic);
    request.headers << "Title: " + MimeWords::encode(message.title, " ")
                    << "Priority: " + QByteArray::number(qBound(1, priority, 5))
                    << QByteArrayLiteral("Content-Type: text/plain; charset=utf-8");
    if (!channel.secret.isEmpty())
        request.headers << "Authorization: Bearer " + channel.secret.toUtf8();
    request.body = message.message.toUtf8();
}

} // namespace

ChannelRequest ChannelRequest::build(const Channel& channel, const ChannelMessage& message,
                                     qint64 nowMs) {
    ChannelRequest request;
    if (!channel.secret.isEmpty())
        request.hidden << channel.secret;
    const bool isTelegram = channel.kind == ChannelKind::Telegram;
    QString base = setting(channel, isTelegram ? QStringLiteral("api") : QStringLiteral("url"));
    if (isTelegram && base.isEmpty())
        base = TelegramApi;
    request.url = webUrl(base);
    if (request.url.isEmpty()) {
        request.problem = tr("URL无效:需要http或https地址");
        return request;
    }
    switch (channel.kind) {
    case ChannelKind::Webhook:
        webhook(request, channel, message);
        break;
    case ChannelKind::DingTalk:
        dingTalk(request, channel, message, nowMs);
        break;
    case ChannelKind::Feishu:
        feishu(request, channel, message, nowMs);
        break;
    case ChannelKind::WeCom:
        weCom(request, channel, message);
        break;
    case ChannelKind::Telegram:
        telegram(request, channel, message);
        break;
    case ChannelKind::Ntfy:
        ntfy(request, channel, message);
        break;
    case ChannelKind::Email:
    case ChannelKind::Command:
        request.problem = tr("%1渠道不经HTTP发送").arg(ChannelKinds::text(channel.kind));
        break;
    }
    return request;
}
