#include "monitor/ServerAlerts.h"
#include "notify/Channel.h"
#include "notify/ChannelDelivery.h"
#include "notify/ChannelMessage.h"
#include "notify/ChannelReply.h"
#include "notify/ChannelRequest.h"
#include "notify/ChannelSignature.h"
#include "notify/CommandDelivery.h"
#include "notify/EmailRequest.h"
#include "notify/MimeWords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>

namespace {

// 2025-12-10 04:00:00.123 UTC
constexpr qint64 Now = 1765339200123;

QJsonObject object(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

Channel channel(ChannelKind kind, const char* settings, const QString& secret = {}) {
    Channel made;
    made.kind = kind;
    made.name = QStringLiteral("ops");
    made.settings = object(settings);
    made.secret = secret;
    return made;
}

ChannelMessage alert() {
    ChannelMessage message;
    message.title = QStringLiteral("服务器告警:web");
    message.message = QStringLiteral("web \"主站\" 连续3次连接失败\n请检查");
    message.event.server = QStringLiteral("7");
    message.event.serverName = QStringLiteral("web \"主站\"");
    message.event.address = QStringLiteral("127.0.0.1");
    message.event.port = QStringLiteral("80");
    message.event.status = QStringLiteral("SOCKET错误:拒绝连接");
    message.event.timeUtcMs = 1765339200000;
    message.dedupKey = QStringLiteral("7-alert-1765339200000");
    return message;
}

ChannelMessage recovery() {
    ChannelMessage message = alert();
    message.title = QStringLiteral("注意:服务器已恢复");
    message.event.kind = AlertEvent::Kind::Recovery;
    message.event.durationMs = 90000;
    message.dedupKey = QStringLiteral("7-recovery-1765339290000");
    return message;
}

// The value of the header of that name in a mail, unfolded.
QByteArray mailHeader(const QByteArray& mail, const QByteArray& name) {
    const QByteArray head = mail.left(mail.indexOf("\r\n\r\n")).replace("\r\n ", " ");
    for (const QByteArray& line : head.split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return {};
}

// Decodes a value of UTF-8 encoded words; each word must be valid UTF-8 by
// itself, so no word splits a character.
QString decodedWords(const QByteArray& value, bool* wordsWhole) {
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    QString decoded;
    *wordsWhole = true;
    for (auto match = word.globalMatch(QString::fromLatin1(value)); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        QStringDecoder utf8(QStringDecoder::Utf8);
        decoded += utf8.decode(QByteArray::fromBase64(found.captured(1).toLatin1()));
        *wordsWhole = *wordsWhole && !utf8.hasError() && found.capturedLength() <= 75;
    }
    return decoded;
}

} // namespace

Q_DECLARE_METATYPE(Channel)
Q_DECLARE_METATYPE(ChannelMessage)
Q_DECLARE_METATYPE(ChannelKind)

class TestChannelRequest final : public QObject {
    Q_OBJECT
private slots:
    // Vectors computed once with Python's hmac, outside this code.
    void signaturesMatchVectorsComputedByHand_data() {
        QTest::addColumn<bool>("dingTalk");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<qint64>("timestamp");
        QTest::addColumn<QByteArray>("sign");
        QTest::newRow("DingTalk, / and + in the sign")
            << true << "SECservermon" << qint64(1765339200123)
            << QByteArray("tdClNHq2qEYNOxEme9JVpV/tnxtOdNX77nYPwwJ+2ks=");
        QTest::newRow("DingTalk") << true << "SEC0123456789abcdef" << qint64(1700000000000)
                                  << QByteArray("TSZbRFUuvaSQaRKUpF970OPCb2/LcQAP3wOvwZIzBZk=");
        QTest::newRow("Feishu") << false << "demo" << qint64(1700000000)
                                << QByteArray("8oT2n3SMKFfEnDoiwer8BUM/SjKLwe9SqoEIHlhDTKo=");
        QTest::newRow("Feishu, + in the sign")
            << false << "feishu-secret" << qint64(1700000000)
            << QByteArray("OrBzY1Y01Gq+HgJsl+7OfWcMVwc7YocohQm5iiZwjhU=");
    }
    void signaturesMatchVectorsComputedByHand() {
        QFETCH(bool, dingTalk);
        QFETCH(QString, secret);
        QFETCH(qint64, timestamp);
        QFETCH(QByteArray, sign);
        QCOMPARE(dingTalk ? ChannelSignature::dingTalk(secret, timestamp)
                          : ChannelSignature::feishu(secret, timestamp),
                 sign);
    }

    // Each HTTP kind's request: where it goes, how, with which headers and body.
    void requestsOfEachKind_data() {
        QTest::addColumn<Channel>("channel");
        QTest::addColumn<ChannelMessage>("message");
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QList<QByteArray>>("headers"); // exactly these, in order
        QTest::addColumn<QByteArray>("body");           // JSON compared as JSON
        const QByteArray json("Content-Type: application/json; charset=utf-8");
        const QByteArray text("Content-Type: text/plain; charset=utf-8");
        const QByteArray dedup("X-Servermon-Dedup-Key: 7-alert-1765339200000");
        const QString alertText = alert().title + u'\n' + alert().message;

        QTest::newRow("webhook, default body")
            << channel(ChannelKind::Webhook, "{\"url\":\"https://hook.test/in?a=1\"}") << alert()
            << QByteArray("https://hook.test/in?a=1") << "POST" << QList<QByteArray>{json, dedup}
            << QJsonDocument(QJsonObject{{"title", alert().title},
                                         {"message", alert().message},
                                         {"server", alert().event.serverName},
                                         {"address", "127.0.0.1"},
                                         {"port", "80"},
                                         {"status", alert().event.status},
                                         {"state", "alert"},
                                         {"time", QDateTime::fromMSecsSinceEpoch(1765339200000)
                                                      .toString("yyyy-MM-dd HH:mm:ss")},
                                         {"duration", ""},
                                         {"dedup_key", alert().dedupKey}})
                   .toJson();
        QTest::newRow("webhook, PUT, text template, own headers")
            << channel(ChannelKind::Webhook, "{\"url\":\"http://hook.test/\",\"method\":\"put\","
                                             "\"headers\":\"X-Token: abc\\n\\nX-Team:  ops "
                                             "\",\"template\":\"State: {state} {server}\"}")
            << recovery() << QByteArray("http://hook.test/") << "PUT"
            << QList<QByteArray>{text, "X-Servermon-Dedup-Key: 7-recovery-1765339290000",
                                 "X-Token: abc", "X-Team: ops"}
            << QByteArray("State: recovery web \"主站\"");
        QTest::newRow("webhook, text template opening with a placeholder")
            << channel(ChannelKind::Webhook,
                       "{\"url\":\"http://hook.test/\",\"template\":\"{server} is {state}\"}")
            << recovery() << QByteArray("http://hook.test/") << "POST"
            << QList<QByteArray>{text, "X-Servermon-Dedup-Key: 7-recovery-1765339290000"}
            << QByteArray("web \"主站\" is recovery");
        QTest::newRow("webhook, JSON template, own Content-Type")
            << channel(ChannelKind::Webhook,
                       "{\"url\":\"http://hook.test/\",\"headers\":\"content-type: "
                       "application/x-alert\","
                       "\"template\":\"{\\\"t\\\":\\\"{title}\\\",\\\"d\\\":\\\"{duration}\\\"}\"}")
            << recovery() << QByteArray("http://hook.test/") << "POST"
            << QList<QByteArray>{"X-Servermon-Dedup-Key: 7-recovery-1765339290000",
                                 "content-type: application/x-alert"}
            << QJsonDocument(
                   QJsonObject{{"t", recovery().title}, {"d", ServerAlerts::durationText(90000)}})
                   .toJson();
        const QByteArray dingTalkBody =
            QJsonDocument(
                QJsonObject{{"msgtype", "text"}, {"text", QJsonObject{{"content", alertText}}}})
                .toJson();
        QTest::newRow("DingTalk without secret")
            << channel(ChannelKind::DingTalk,
                       "{\"url\":\"https://oapi.test/robot/send?access_token=abc\"}")
            << alert() << QByteArray("https://oapi.test/robot/send?access_token=abc") << "POST"
            << QList<QByteArray>{json} << dingTalkBody;
        QTest::newRow("DingTalk signed")
            << channel(ChannelKind::DingTalk,
                       "{\"url\":\"https://oapi.test/robot/send?access_token=abc#top\"}",
                       "SECservermon")
            << alert()
            << QByteArray("https://oapi.test/robot/send?access_token=abc&timestamp=1765339200123"
                          "&sign=tdClNHq2qEYNOxEme9JVpV%2FtnxtOdNX77nYPwwJ%2B2ks%3D")
            << "POST" << QList<QByteArray>{json} << dingTalkBody;
        QTest::newRow("Feishu signed")
            << channel(ChannelKind::Feishu, "{\"url\":\"https://open.test/hook/x\"}", "demo")
            << alert() << QByteArray("https://open.test/hook/x") << "POST"
            << QList<QByteArray>{json}
            << QJsonDocument(QJsonObject{{"timestamp", "1765339200"},
                                         {"sign", "m/FkBf2OeBID227BFgVBm5CAU50IA4r1KlZXZMhX0+4="},
                                         {"msg_type", "text"},
                                         {"content", QJsonObject{{"text", alertText}}}})
                   .toJson();
        QTest::newRow("Feishu without secret")
            << channel(ChannelKind::Feishu, "{\"url\":\"https://open.test/hook/x\"}") << alert()
            << QByteArray("https://open.test/hook/x") << "POST" << QList<QByteArray>{json}
            << QJsonDocument(
                   QJsonObject{{"msg_type", "text"}, {"content", QJsonObject{{"text", alertText}}}})
                   .toJson();
        QTest::newRow("WeCom text")
            << channel(ChannelKind::WeCom,
                       "{\"url\":\"https://qyapi.test/send?key=k\",\"format\":\"text\"}")
            << alert() << QByteArray("https://qyapi.test/send?key=k") << "POST"
            << QList<QByteArray>{json}
            << QJsonDocument(
                   QJsonObject{{"msgtype", "text"}, {"text", QJsonObject{{"content", alertText}}}})
                   .toJson();
        QTest::newRow("WeCom markdown")
            << channel(ChannelKind::WeCom,
                       "{\"url\":\"https://qyapi.test/send?key=k\",\"format\":\"markdown\"}")
            << alert() << QByteArray("https://qyapi.test/send?key=k") << "POST"
            << QList<QByteArray>{json}
            << QJsonDocument(
                   QJsonObject{{"msgtype", "markdown"},
                               {"markdown", QJsonObject{{"content", "**" + alert().title + "**\n" +
                                                                        alert().message}}}})
                   .toJson();
        QTest::newRow("Telegram, public API")
            << channel(ChannelKind::Telegram, "{\"chat\":\"-1001234\"}", "123456:ABC-def")
            << alert() << QByteArray("https://api.telegram.org/bot123456:ABC-def/sendMessage")
            << "POST" << QList<QByteArray>{json}
            << QJsonDocument(QJsonObject{{"chat_id", "-1001234"}, {"text", alertText}}).toJson();
        QTest::newRow("Telegram, own gateway")
            << channel(ChannelKind::Telegram,
                       "{\"api\":\"http://127.0.0.1:9/tg/\",\"chat\":\"42\"}", "1:x")
            << alert() << QByteArray("http://127.0.0.1:9/tg/bot1:x/sendMessage") << "POST"
            << QList<QByteArray>{json}
            << QJsonDocument(QJsonObject{{"chat_id", "42"}, {"text", alertText}}).toJson();
        QTest::newRow("ntfy with token")
            << channel(ChannelKind::Ntfy,
                       "{\"url\":\"https://ntfy.test/\",\"topic\":\"ops alerts\",\"priority\":5}",
                       "tk_1")
            << alert() << QByteArray("https://ntfy.test/ops%20alerts") << "POST"
            << QList<QByteArray>{"Title: =?UTF-8?B?" + alert().title.toUtf8().toBase64() + "?=",
                                 "Priority: 5", text, "Authorization: Bearer tk_1"}
            << alert().message.toUtf8();
        QTest::newRow("ntfy, default priority, ASCII title")
            << channel(ChannelKind::Ntfy, "{\"url\":\"http://ntfy.test\",\"topic\":\"t\"}") <<
            [] {
                ChannelMessage message = alert();
                message.title = QStringLiteral("web down\r\nInjected: 1");
                return message;
            }()
            << QByteArray("http://ntfy.test/t") << "POST"
            << QList<QByteArray>{"Title: web down  Injected: 1", "Priority: 3", text}
            << alert().message.toUtf8();
    }
    void requestsOfEachKind() {
        QFETCH(Channel, channel);
        QFETCH(ChannelMessage, message);
        QFETCH(QByteArray, url);
        QFETCH(QString, method);
        QFETCH(QList<QByteArray>, headers);
        QFETCH(QByteArray, body);
        const ChannelRequest request = ChannelRequest::build(channel, message, Now);
        QCOMPARE(request.problem, QString());
        QCOMPARE(request.url, url);
        QCOMPARE(request.method, method);
        QCOMPARE(request.headers, headers);
        QJsonParseError error;
        const QJsonDocument expected = QJsonDocument::fromJson(body, &error);
        if (error.error == QJsonParseError::NoError)
            QCOMPARE(QJsonDocument::fromJson(request.body), expected);
        else
            QCOMPARE(request.body, body);
    }

    // Settings that make no request are said so, with the field.
    void settingsThatMakeNoRequest_data() {
        QTest::addColumn<Channel>("channel");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no scheme") << channel(ChannelKind::Webhook, "{\"url\":\"hook.test/in\"}")
                                   << "URL无效:需要http或https地址";
        QTest::newRow("another scheme")
            << channel(ChannelKind::DingTalk, "{\"url\":\"ftp://oapi.test/x\"}")
            << "URL无效:需要http或https地址";
        QTest::newRow("no host") << channel(ChannelKind::Feishu, "{\"url\":\"https:///x\"}")
                                 << "URL无效:需要http或https地址";
        QTest::newRow("no URL") << channel(ChannelKind::WeCom, "{}")
                                << "URL无效:需要http或https地址";
        QTest::newRow("GET") << channel(ChannelKind::Webhook,
                                        "{\"url\":\"http://h.test\",\"method\":\"GET\"}")
                             << "请求方法GET不可用:只能是POST或PUT";
        QTest::newRow("header without colon")
            << channel(ChannelKind::Webhook,
                       "{\"url\":\"http://h.test\",\"headers\":\"X-A: 1\\nbad\"}")
            << "请求头有误:";
        QTest::newRow("Telegram without token")
            << channel(ChannelKind::Telegram, "{\"chat\":\"1\"}")
            << "Telegram设置有误:没有机器人令牌";
        QTest::newRow("Telegram without chat")
            << channel(ChannelKind::Telegram, "{\"chat\":\" \"}", "1:x")
            << "Telegram设置有误:没有chat id";
        QTest::newRow("ntfy without topic")
            << channel(ChannelKind::Ntfy, "{\"url\":\"http://n.test\"}") << "ntfy设置有误:没有主题";
    }
    void settingsThatMakeNoRequest() {
        QFETCH(Channel, channel);
        QFETCH(QString, reason);
        const ChannelRequest request = ChannelRequest::build(channel, alert(), Now);
        QVERIFY2(request.problem.startsWith(reason), qPrintable(request.problem));
    }

    // Only what the kind's peer says "accepted" is accepted: these services
    // answer 200 to a bad signature or token.
    void repliesJudged_data() {
        QTest::addColumn<ChannelKind>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason"); // empty: accepted
        using K = ChannelKind;
        QTest::newRow("webhook 200") << K::Webhook << 200 << QByteArray("whatever") << QString();
        QTest::newRow("webhook 204") << K::Webhook << 204 << QByteArray() << QString();
        QTest::newRow("webhook 500") << K::Webhook << 500 << QByteArray() << "HTTP状态码500";
        QTest::newRow("webhook 302") << K::Webhook << 302 << QByteArray() << "HTTP状态码302";
        QTest::newRow("ntfy 200") << K::Ntfy << 200 << QByteArray("{\"id\":\"x\"}") << QString();
        QTest::newRow("ntfy 403") << K::Ntfy << 403 << QByteArray() << "HTTP状态码403";
        QTest::newRow("DingTalk errcode 0")
            << K::DingTalk << 200 << QByteArray("{\"errcode\":0,\"errmsg\":\"ok\"}") << QString();
        QTest::newRow("DingTalk keyword refused")
            << K::DingTalk << 200
            << QByteArray("{\"errcode\":310000,\"errmsg\":\"keywords not in content\"}")
            << "对方返回错误:errcode 310000 keywords not in content";
        QTest::newRow("DingTalk 500 with errcode 0")
            << K::DingTalk << 500 << QByteArray("{\"errcode\":0}") << "HTTP状态码500";
        QTest::newRow("DingTalk not JSON")
            << K::DingTalk << 200 << QByteArray("ok") << "对方的回应不是JSON";
        QTest::newRow("DingTalk without errcode")
            << K::DingTalk << 200 << QByteArray("{\"code\":0}") << "对方的回应缺少errcode";
        QTest::newRow("WeCom errcode 0")
            << K::WeCom << 200 << QByteArray("{\"errcode\":0}") << QString();
        QTest::newRow("WeCom bad key")
            << K::WeCom << 200
            << QByteArray("{\"errcode\":93000,\"errmsg\":\"invalid webhook url\"}")
            << "对方返回错误:errcode 93000 invalid webhook url";
        QTest::newRow("Feishu code 0")
            << K::Feishu << 200 << QByteArray("{\"code\":0,\"data\":{},\"msg\":\"success\"}")
            << QString();
        QTest::newRow("Feishu, older bot")
            << K::Feishu << 200 << QByteArray("{\"StatusCode\":0,\"StatusMessage\":\"success\"}")
            << QString();
        QTest::newRow("Feishu bad sign")
            << K::Feishu << 200 << QByteArray("{\"code\":19021,\"msg\":\"sign match fail\"}")
            << "对方返回错误:code 19021 sign match fail";
        QTest::newRow("Feishu errcode is not code")
            << K::Feishu << 200 << QByteArray("{\"errcode\":0}") << "对方的回应缺少code";
        QTest::newRow("Telegram ok")
            << K::Telegram << 200 << QByteArray("{\"ok\":true,\"result\":{}}") << QString();
        QTest::newRow("Telegram refused")
            << K::Telegram << 200
            << QByteArray("{\"ok\":false,\"error_code\":401,\"description\":\"Unauthorized\"}")
            << "对方返回错误:error_code 401 Unauthorized";
        QTest::newRow("Telegram ok as text")
            << K::Telegram << 200 << QByteArray("{\"ok\":\"true\"}") << "对方返回错误:ok false";
        QTest::newRow("Telegram refused without description")
            << K::Telegram << 200 << QByteArray("{\"ok\":false}") << "对方返回错误:ok false";
        QTest::newRow("DingTalk errmsg not a text")
            << K::DingTalk << 200 << QByteArray("{\"errcode\":7,\"errmsg\":{\"a\":[1,true]}}")
            << "对方返回错误:errcode 7 {\"a\":[1,true]}";
        QTest::newRow("peer text cut to a line")
            << K::WeCom << 200
            << QByteArray("{\"errcode\":1,\"errmsg\":\"a\\nb") + QByteArray(300, 'x') + "\"}"
            << "对方返回错误:errcode 1 a b" + QString(197, u'x') + QChar(0x2026);
    }
    void repliesJudged() {
        QFETCH(ChannelKind, kind);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        const SendOutcome outcome = ChannelReply::judge(kind, status, body);
        QCOMPARE(outcome.reason, reason);
        QCOMPARE(outcome.accepted, reason.isEmpty());
    }

    void headerWords_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("plain"); // empty: encoded words
        QTest::newRow("ASCII") << "web down (3x)" << QByteArray("web down (3x)");
        QTest::newRow("line breaks") << "a\r\nb\tc" << QByteArray("a  b c");
        QTest::newRow("Chinese") << "服务器告警" << QByteArray();
        QTest::newRow("long Chinese") << QString(40, QChar(0x544a)) << QByteArray();
        QTest::newRow("emoji at every offset")
            << QStringLiteral("a") + QString::fromUtf8("\xF0\x9F\x94\xA5").repeated(30)
            << QByteArray();
        QTest::newRow("control inside Chinese") << "告\n警" << QByteArray();
        QTest::newRow("ASCII too long for one line") << QString(1000, u'a') << QByteArray();
    }
    void headerWords() {
        QFETCH(QString, text);
        QFETCH(QByteArray, plain);
        const QByteArray encoded = MimeWords::encode(text, "\r\n ");
        if (!plain.isEmpty()) {
            QCOMPARE(encoded, plain);
            return;
        }
        bool whole = false;
        QString expected = text;
        expected.replace(QLatin1Char('\n'), QLatin1Char(' '));
        QCOMPARE(decodedWords(encoded, &whole), expected);
        QVERIFY(whole);
        for (const QByteArray& word : encoded.split('\n'))
            QVERIFY2(word.trimmed().size() <= 75, word.constData());
    }

    // A proper message: headers of RFC 5322, the title as encoded words, the
    // text in base64 with CRLF line ends.
    void mailOfAnAlert() {
        Channel mail = channel(
            ChannelKind::Email,
            "{\"host\":\"smtp.test\",\"port\":587,\"security\":\"starttls\",\"user\":\"alert\","
            "\"from\":\"servermon@ops.test\",\"to\":[\"a@ops.test\",\" b@ops.test \"]}",
            "pw");
        const EmailRequest request = EmailRequest::build(mail, alert(), Now);
        QCOMPARE(request.problem, QString());
        QCOMPARE(request.url, QByteArray("smtp://smtp.test:587"));
        QVERIFY(request.requireStartTls);
        QCOMPARE(request.user, QStringLiteral("alert"));
        QCOMPARE(request.password, QStringLiteral("pw"));
        QCOMPARE(request.from, QByteArray("<servermon@ops.test>"));
        QCOMPARE(request.recipients, (QList<QByteArray>{"<a@ops.test>", "<b@ops.test>"}));
        const QByteArray& content = request.content;
        QCOMPARE(mailHeader(content, "From"), QByteArray("servermon@ops.test"));
        QCOMPARE(mailHeader(content, "To"), QByteArray("a@ops.test, b@ops.test"));
        bool whole = false;
        QCOMPARE(decodedWords(mailHeader(content, "Subject"), &whole), alert().title);
        QVERIFY(whole);
        QCOMPARE(QDateTime::fromString(QString::fromLatin1(mailHeader(content, "Date")),
                                       Qt::RFC2822Date),
                 QDateTime::fromMSecsSinceEpoch(Now / 1000 * 1000));
        QVERIFY(QRegularExpression(QStringLiteral("^<[0-9a-f]{32}\\.servermon@ops\\.test>$"))
                    .match(QString::fromLatin1(mailHeader(content, "Message-ID")))
                    .hasMatch());
        QCOMPARE(mailHeader(content, "MIME-Version"), QByteArray("1.0"));
        QCOMPARE(mailHeader(content, "Content-Type"), QByteArray("text/plain; charset=UTF-8"));
        QCOMPARE(mailHeader(content, "Content-Transfer-Encoding"), QByteArray("base64"));
        QCOMPARE(mailHeader(content, "X-Servermon-Dedup-Key"), alert().dedupKey.toLatin1());
        const QList<QByteArray> lines = content.mid(content.indexOf("\r\n\r\n") + 4).split('\n');
        QByteArray body;
        for (const QByteArray& line : lines) {
            QVERIFY(line.isEmpty() || line.endsWith('\r'));
            QVERIFY(line.size() <= 77);
            body += line.trimmed();
        }
        QCOMPARE(QByteArray::fromBase64(body),
                 QByteArray("web \"主站\" 连续3次连接失败\r\n请检查\r\n"));
        QVERIFY(!content.contains("\n\n"));
        QVERIFY(!content.contains(QByteArray("pw")));
    }

    // The same message keeps its ID, so a resend is recognisably the same
    // mail; another message has another.
    void mailIdFollowsTheDedupKey() {
        const Channel mail =
            channel(ChannelKind::Email,
                    "{\"host\":\"h.test\",\"from\":\"s@ops.test\",\"to\":[\"a@b.test\"]}");
        const auto id = [&mail](const ChannelMessage& message, qint64 now) {
            return mailHeader(EmailRequest::build(mail, message, now).content, "Message-ID");
        };
        QCOMPARE(id(alert(), Now), id(alert(), Now + 60000));
        QVERIFY(id(alert(), Now) != id(recovery(), Now));
        ChannelMessage keyless = alert();
        keyless.dedupKey.clear();
        QVERIFY(id(keyless, Now) != id(keyless, Now));
    }

    void mailSecurityAndPorts_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("startTls");
        QTest::newRow("none, default port")
            << "{\"host\":\"m.test\"}" << QByteArray("smtp://m.test:25") << false;
        QTest::newRow("STARTTLS, default port") << "{\"host\":\"m.test\",\"security\":\"starttls\"}"
                                                << QByteArray("smtp://m.test:587") << true;
        QTest::newRow("TLS, default port") << "{\"host\":\"m.test\",\"security\":\"tls\"}"
                                           << QByteArray("smtps://m.test:465") << false;
        QTest::newRow("port as typed digits") << "{\"host\":\"m.test\",\"port\":\" 2525\"}"
                                              << QByteArray("smtp://m.test:2525") << false;
        QTest::newRow("empty port") << "{\"host\":\"m.test\",\"port\":\"\",\"security\":\"tls\"}"
                                    << QByteArray("smtps://m.test:465") << false;
        QTest::newRow("IPv6") << "{\"host\":\"::1\",\"port\":2525,\"security\":\"none\"}"
                              << QByteArray("smtp://[::1]:2525") << false;
    }
    void mailSecurityAndPorts() {
        QFETCH(QString, settings);
        QFETCH(QByteArray, url);
        QFETCH(bool, startTls);
        Channel mail = channel(ChannelKind::Email, "{}");
        mail.settings = QJsonDocument::fromJson(settings.toUtf8()).object();
        mail.settings.insert(QStringLiteral("from"), QStringLiteral("s@ops.test"));
        mail.settings.insert(QStringLiteral("to"), QJsonArray{QStringLiteral("a@ops.test")});
        const EmailRequest request = EmailRequest::build(mail, alert(), Now);
        QCOMPARE(request.problem, QString());
        QCOMPARE(request.url, url);
        QCOMPARE(request.requireStartTls, startTls);
        QVERIFY(request.user.isEmpty());
    }

    void mailSettingsThatSendNothing_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("reason");
        const QString to = QStringLiteral("\"to\":[\"a@ops.test\"]");
        QTest::newRow("no host") << "{\"from\":\"s@o.test\"," + to + "}"
                                 << "邮件设置有误:没有SMTP服务器";
        QTest::newRow("port 0") << "{\"host\":\"m\",\"port\":0,\"from\":\"s@o.test\"," + to + "}"
                                << "邮件设置有误:端口0不在1-65535之间";
        QTest::newRow("port 65536")
            << "{\"host\":\"m\",\"port\":65536,\"from\":\"s@o.test\"," + to + "}"
            << "邮件设置有误:端口65536不在1-65535之间";
        QTest::newRow("port not a number")
            << "{\"host\":\"m\",\"port\":\"25a\",\"from\":\"s@o.test\"," + to + "}"
            << "邮件设置有误:端口25a不在1-65535之间";
        QTest::newRow("security") << "{\"host\":\"m\",\"security\":\"ssl\",\"from\":\"s@o.test\"," +
                                         to + "}"
                                  << "邮件设置有误:加密方式ssl未知";
        QTest::newRow("from without @") << "{\"host\":\"m\",\"from\":\"servermon\"," + to + "}"
                                        << "邮件设置有误:发件人地址无效";
        QTest::newRow("from with a line break")
            << "{\"host\":\"m\",\"from\":\"s@o.test\\r\\nBcc: x@y\"," + to + "}"
            << "邮件设置有误:发件人地址无效";
        QTest::newRow("no recipient") << "{\"host\":\"m\",\"from\":\"s@o.test\",\"to\":[]}"
                                      << "邮件设置有误:没有收件人";
        QTest::newRow("recipient without @")
            << "{\"host\":\"m\",\"from\":\"s@o.test\",\"to\":[\"a@o.test\",\"bob\"]}"
            << "邮件设置有误:收件人地址无效:bob";
        QTest::newRow("recipient with >")
            << "{\"host\":\"m\",\"from\":\"s@o.test\",\"to\":[\"a@o.test> NOTIFY=x\"]}"
            << "邮件设置有误:收件人地址无效:a@o.test> NOTIFY=x";
    }
    void mailSettingsThatSendNothing() {
        QFETCH(QString, settings);
        QFETCH(QString, reason);
        Channel mail = channel(ChannelKind::Email, "{}");
        mail.settings = QJsonDocument::fromJson(settings.toUtf8()).object();
        QCOMPARE(EmailRequest::build(mail, alert(), Now).problem, reason);
    }

    // A command reads the event from its environment.
    void commandEnvironment_data() {
        QTest::addColumn<ChannelMessage>("message");
        QTest::addColumn<QStringList>("expected"); // NAME=value, without SERVERMON_
        const QString time =
            QDateTime::fromMSecsSinceEpoch(1765339200000).toString("yyyy-MM-dd HH:mm:ss");
        QTest::newRow("alert") << alert()
                               << QStringList{"TITLE=" + alert().title,
                                              "MESSAGE=" + alert().message,
                                              "SERVER=" + alert().event.serverName,
                                              "SERVER_ID=7",
                                              "ADDRESS=127.0.0.1",
                                              "PORT=80",
                                              "STATUS=" + alert().event.status,
                                              "STATE=alert",
                                              "TIME=" + time,
                                              "DURATION=",
                                              "DEDUP_KEY=7-alert-1765339200000"};
        QTest::newRow("recovery") << recovery()
                                  << QStringList{"STATE=recovery", "TIME=" + time,
                                                 "DURATION=" + ServerAlerts::durationText(90000)};
        const ChannelMessage test = channelTestMessage(QStringLiteral("ops"));
        QTest::newRow("test") << test << QStringList{"TITLE=servermon测试消息",
                                                     "SERVER=",
                                                     "SERVER_ID=",
                                                     "STATE=test",
                                                     "TIME=",
                                                     "DURATION=",
                                                     "DEDUP_KEY=" + test.dedupKey};
    }
    void commandEnvironment() {
        QFETCH(ChannelMessage, message);
        QFETCH(QStringList, expected);
        QProcessEnvironment base;
        base.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin"));
        const QProcessEnvironment environment = CommandDelivery::environment(message, base);
        QCOMPARE(environment.value(QStringLiteral("PATH")), QStringLiteral("/usr/bin"));
        QCOMPARE(environment.keys().size(), 12);
        for (const QString& entry : expected) {
            const QString name = QStringLiteral("SERVERMON_") + entry.section(u'=', 0, 0);
            QVERIFY2(environment.contains(name), qPrintable(name));
            QCOMPARE(environment.value(name), entry.section(u'=', 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestChannelRequest)
#include "tst_channelrequest.moc"
