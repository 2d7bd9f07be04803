#include "notify/EmailRequest.h"

#include "notify/Channel.h"
#include "notify/ChannelMessage.h"
#include "notify/MimeWords.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QUrl>
#include <QUuid>

namespace {

constexpr qsizetype Base64LineLength = 76;

// An address as typed: one "@", nothing that could end an SMTP command or a
// header, no angle brackets of its own.
bool isAddress(const QString& address) {
    if (address.count(QLatin1Char('@')) != 1 || address.startsWith(QLatin1Char('@')) ||
        address.endsWith(QLatin1Char('@')))
        return false;
    for (const QChar c : address)
        if (c.unicode() <= 0x20 || c == QLatin1Char('<') || c == QLatin1Char('>') ||
            c == QLatin1Char(',') || c == QLatin1Char(';') || c.category() == QChar::Other_Control)
            return false;
    return true;
}

int defaultPort(const QString& security) {
    if (security == QLatin1String("tls"))
        return 465;
    if (security == QLatin1String("starttls"))
        return 587;
    return 25;
}

// The port as a number or as typed digits; absent or empty: the security's
// usual one; anything else: 0, which no server has.
int portOf(const QJsonValue& value, int usual) {
    if (value.isUndefined() || value.isNull() ||
        (value.isString() && value.toString().trimmed().isEmpty()))
        return usual;
    if (value.isString())
        return value.toString().trimmed().toInt();
    return value.toInt(0);
}

// The same message always has the same ID, so a resend after a crash is
// recognisable as the same mail.
QByteArray messageId(const ChannelMessage& message, const QString& from) {
    const QByteArray local =
        message.dedupKey.isEmpty()
            ? QUuid::createUuid().toByteArray(QUuid::Id128)
            : QCryptographicHash::hash(message.dedupKey.toUtf8(), QCryptographicHash::Sha256)
                  .toHex()
                  .left(32);
    return '<' + local + ".servermon@" + from.section(QLatin1Char('@'), 1).toUtf8() + '>';
}

QByteArray base64Lines(const QByteArray& bytes) {
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < encoded.size(); at += Base64LineLength)
        lines += encoded.mid(at, Base64LineLength) + "\r\n";
    return lines;
}

QByteArray body(const ChannelMessage& message) {
    QString text = message.message;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text.toUtf8() + "\r\n";
}

} // namespace

EmailRequest EmailRequest::build(const Channel& channel, const ChannelMessage& message,
                                 qint64 nowMs) {
    EmailRequest request;
    const QJsonObject& settings = channel.settings;
    const QString host = settings.value(QStringLiteral("host")).toString().trimmed();
    const QString security =
        settings.value(QStringLiteral("security")).toString(QStringLiteral("none"));
    const QJsonValue portValue = settings.value(QStringLiteral("port"));
    const int port = portOf(portValue, defaultPort(security));
    const QString from = settings.value(QStringLiteral("from")).toString().trimmed();
    QStringList to;
    for (const QJsonValue& address : settings.value(QStringLiteral("to")).toArray())
        to << address.toString().trimmed();

    if (host.isEmpty())
        request.problem = tr("邮件设置有误:没有SMTP服务器");
    else if (port < 1 || port > 65535)
        request.problem =
            tr("邮件设置有误:端口%1不在1-65535之间")
                .arg(portValue.isString() ? portValue.toString() : QString::number(port));
    else if (security != QLatin1String("none") && security != QLatin1String("starttls") &&
             security != QLatin1String("tls"))
        request.problem = tr("邮件设置有误:加密方式%1未知").arg(security);
    else if (!isAddress(from))
        request.problem = tr("邮件设置有误:发件人地址无效");
    else if (to.isEmpty())
        request.problem = tr("邮件设置有误:没有收件人");
    for (const QString& address : std::as_const(to))
        if (request.problem.isEmpty() && !isAddress(address))
            request.problem = tr("邮件设置有误:收件人地址无效:%1").arg(address);
    if (!request.problem.isEmpty())
        return request;

    QUrl url;
    url.setScheme(security == QLatin1String("tls") ? QStringLiteral("smtps")
                                                   : QStringLiteral("smtp"));
    url.setHost(host);
    url.setPort(port);
    if (!url.isValid() || url.host().isEmpty()) {
        request.problem = tr("邮件设置有误:SMTP服务器%1无效").arg(host);
        return request;
    }
    request.url = url.toEncoded();
    request.requireStartTls = security == QLatin1String("starttls");
    request.user = settings.value(QStringLiteral("user")).toString();
    request.password = channel.secret;
    request.from = '<' + from.toUtf8() + '>';
    for (const QString& address : std::as_const(to))
        request.recipients << '<' + address.toUtf8() + '>';

    QByteArray& mail = request.content;
    mail += "From: " + from.toUtf8() + "\r\n";
    // One recipient a line, so many never make a line too long.
    mail += "To: " + to.join(QStringLiteral(",\r\n ")).toUtf8() + "\r\n";
    mail += "Subject: " + MimeWords::encode(message.title, "\r\n ") + "\r\n";
    mail += "Date: " + QDateTime::fromMSecsSinceEpoch(nowMs).toString(Qt::RFC2822Date).toLatin1() +
            "\r\n";
    mail += "Message-ID: " + messageId(message, from) + "\r\n";
    mail += "MIME-Version: 1.0\r\n";
    mail += "Content-Type: text/plain; charset=UTF-8\r\n";
    mail += "Content-Transfer-Encoding: base64\r\n";
    if (!message.dedupKey.isEmpty())
        mail += "X-Servermon-Dedup-Key: " + MimeWords::encode(message.dedupKey, " ") + "\r\n";
    mail += "\r\n";
    mail += base64Lines(body(message));
    return request;
}
