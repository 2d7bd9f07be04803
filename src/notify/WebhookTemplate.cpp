#include "notify/WebhookTemplate.h"

#include "monitor/ServerAlerts.h"
#include "notify/ChannelMessage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

namespace WebhookTemplate {

namespace {

const QRegularExpression& placeholderPattern() {
    static const QRegularExpression pattern(
        QStringLiteral("\\{(title|message|server|address|port|status|state|time|duration)\\}"));
    return pattern;
}

// A JSON object opens with "{" and a quoted name (or closes at once), a JSON
// array with "[" and no placeholder right after it. A text that merely opens
// with a placeholder, such as "{title} on {server}", is plain text.
bool isJson(const QString& templateText) {
    const QString trimmed = templateText.trimmed();
    const QString rest = trimmed.mid(1).trimmed();
    if (trimmed.startsWith(QLatin1Char('[')))
        return placeholderPattern().match(rest).capturedStart() != 0;
    return trimmed.startsWith(QLatin1Char('{')) &&
           (rest.startsWith(QLatin1Char('"')) || rest.startsWith(QLatin1Char('}')));
}

// The text as it stands between the quotes of a JSON string.
QString jsonEscaped(const QString& text) {
    const QByteArray quoted =
        QJsonDocument(QJsonObject{{QStringLiteral("v"), text}}).toJson(QJsonDocument::Compact);
    // {"v":"…"}
    return QString::fromUtf8(quoted.mid(6, quoted.size() - 8));
}

QString timeText(qint64 utcMs) {
    return utcMs > 0 ? QDateTime::fromMSecsSinceEpoch(utcMs).toString(
                           QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     : QString();
}

QString durationOf(const ChannelMessage& message) {
    return message.event.durationMs >= 0 ? ServerAlerts::durationText(message.event.durationMs)
                                         : QString();
}

QString field(const ChannelMessage& message, const QString& name) {
    const AlertEvent& event = message.event;
    if (name == QLatin1String("title"))
        return message.title;
    if (name == QLatin1String("message"))
        return message.message;
    if (name == QLatin1String("server"))
        return event.serverName;
    if (name == QLatin1String("address"))
        return event.address;
    if (name == QLatin1String("port"))
        return event.port;
    if (name == QLatin1String("status"))
        return event.status;
    if (name == QLatin1String("state"))
        return stateKey(message);
    if (name == QLatin1String("time"))
        return timeText(event.timeUtcMs);
    return durationOf(message);
}

} // namespace

QString stateKey(const ChannelMessage& message) {
    if (message.event.timeUtcMs == 0 && message.event.server.isEmpty())
        return QStringLiteral("test");
    return message.event.kind == AlertEvent::Kind::Recovery ? QStringLiteral("recovery")
                                                            : QStringLiteral("alert");
}

QByteArray render(const QString& templateText, const ChannelMessage& message) {
    if (templateText.trimmed().isEmpty()) {
        const AlertEvent& event = message.event;
        return QJsonDocument(QJsonObject{{QStringLiteral("title"), message.title},
                                         {QStringLiteral("message"), message.message},
                                         {QStringLiteral("server"), event.serverName},
                                         {QStringLiteral("address"), event.address},
                                         {QStringLiteral("port"), event.port},
                                         {QStringLiteral("status"), event.status},
                                         {QStringLiteral("state"), stateKey(message)},
                                         {QStringLiteral("time"), timeText(event.timeUtcMs)},
                                         {QStringLiteral("duration"), durationOf(message)},
                                         {QStringLiteral("dedup_key"), message.dedupKey}})
            .toJson(QJsonDocument::Compact);
    }
    const bool json = isJson(templateText);
    QString body;
    qsizetype from = 0;
    for (auto match = placeholderPattern().globalMatch(templateText); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        body += templateText.mid(from, found.capturedStart() - from);
        const QString value = field(message, found.captured(1));
        body += json ? jsonEscaped(value) : value;
        from = found.capturedEnd();
    }
    body += templateText.mid(from);
    return body.toUtf8();
}

QString jsonProblem(const QString& templateText) {
    if (!isJson(templateText))
        return {};
    ChannelMessage sample;
    sample.title = QStringLiteral("\"title\"\n");
    sample.message = QStringLiteral("\\message\r\n");
    sample.event.server = QStringLiteral("1");
    sample.event.serverName = QStringLiteral("\"name\"");
    sample.event.timeUtcMs = 1;
    sample.event.durationMs = 1000;
    QJsonParseError error;
    QJsonDocument::fromJson(render(templateText, sample), &error);
    if (error.error == QJsonParseError::NoError)
        return {};
    return QCoreApplication::translate("WebhookTemplate", "消息模板替换后不是有效的JSON:%1")
        .arg(error.errorString());
}

} // namespace WebhookTemplate
