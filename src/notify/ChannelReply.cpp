#include "notify/ChannelReply.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <optional>

namespace ChannelReply {
namespace {

// The peer's own words, on one line and short.
constexpr qsizetype PeerTextKept = 200;

// The hidden texts go, longest first, before the text is cut, so no part of
// one is left over.
QString shown(QString text, QStringList hidden) {
    std::sort(hidden.begin(), hidden.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& secret : std::as_const(hidden))
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("***"));
    return text;
}

// A field's value as text: a string as it is, a number or a truth as
// written, an object or array as compact JSON; nothing when absent.
QString textOf(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

QString peerText(const QJsonValue& value, const QStringList& hidden) {
    const QString text = textOf(value);
    const QString line = shown(text, hidden).simplified();
    return line.size() > PeerTextKept ? line.left(PeerTextKept) + QChar(0x2026) : line;
}

// The number in a reply's field; an absent field or one of another type is
// no number.
std::optional<qint64> numberIn(const QJsonObject& reply, const QString& key) {
    const QJsonValue value = reply.value(key);
    if (!value.isDouble())
        return std::nullopt;
    return qint64(value.toDouble());
}

class Judge final {
public:
    Judge(const QJsonObject& reply, const QStringList& hidden)
        : m_reply(reply)
        , m_hidden(hidden) {}

    SendOutcome refused(const QString& code, const QString& textKey) const {
        return {false, QCoreApplication::translate("ChannelReply", "对方返回错误:%1 %2")
                           .arg(code, peerText(m_reply.value(textKey), m_hidden))
                           .trimmed()};
    }

    SendOutcome byCode(const QString& key, const QString& textKey) const {
        const std::optional<qint64> code = numberIn(m_reply, key);
        if (!code)
            return {false,
                    QCoreApplication::translate("ChannelReply", "对方的回应缺少%1").arg(key)};
        if (*code == 0)
            return {true, {}};
        return refused(key + QLatin1Char(' ') + QString::number(*code), textKey);
    }

    // Feishu answers code 0; older bots answered StatusCode 0 and no code.
    SendOutcome feishu() const {
        if (!m_reply.contains(QStringLiteral("code")) &&
            numberIn(m_reply, QStringLiteral("StatusCode")))
            return byCode(QStringLiteral("StatusCode"), QStringLiteral("StatusMessage"));
        return byCode(QStringLiteral("code"), QStringLiteral("msg"));
    }

    SendOutcome telegram() const {
        if (m_reply.value(QStringLiteral("ok")).toBool(false))
            return {true, {}};
        const std::optional<qint64> code = numberIn(m_reply, QStringLiteral("error_code"));
        return refused(code ? QStringLiteral("error_code %1").arg(*code)
                            : QStringLiteral("ok false"),
                       QStringLiteral("description"));
    }

private:
    const QJsonObject& m_reply;
    const QStringList& m_hidden;
};

} // namespace

SendOutcome judge(ChannelKind kind, int statusCode, const QByteArray& body,
                  const QStringList& hidden) {
    if (statusCode < 200 || statusCode > 299)
        return {false, QCoreApplication::translate("ChannelReply", "HTTP状态码%1").arg(statusCode)};
    if (kind == ChannelKind::Webhook || kind == ChannelKind::Ntfy)
        return {true, {}};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {false, QCoreApplication::translate("ChannelReply", "对方的回应不是JSON")};
    const QJsonObject reply = document.object();
    const Judge judge(reply, hidden);
    switch (kind) {
    case ChannelKind::DingTalk:
    case ChannelKind::WeCom:
        return judge.byCode(QStringLiteral("errcode"), QStringLiteral("errmsg"));
    case ChannelKind::Feishu:
        return judge.feishu();
    case ChannelKind::Telegram:
        return judge.telegram();
    default:
        return {true, {}};
    }
}

} // namespace ChannelReply
