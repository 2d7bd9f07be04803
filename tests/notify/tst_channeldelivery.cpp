#include "ChannelSink.h"
#include "FakeClock.h"
#include "TlsPeer.h"

#include "monitor/ServerAlerts.h"
#include "notify/Channel.h"
#include "notify/ChannelDelivery.h"
#include "notify/ChannelMessage.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int WaitMs = 20000;
// The moment the fixed signatures below were computed for.
constexpr qint64 SignedAtMs = 1765339200123;
constexpr char MailFrom[] = "servermon@ops.test";

// A port nothing listens on.
quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

ChannelMessage alert() {
    ChannelMessage message;
    message.title = QStringLiteral("服务器告警:web");
    message.message = QStringLiteral("web 连续3次连接失败\n\"主站\"");
    message.event.server = QStringLiteral("7");
    message.event.serverName = QStringLiteral("web");
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

Channel channel(ChannelKind kind, const QJsonObject& settings, const QString& secret = {}) {
    Channel made;
    made.kind = kind;
    made.name = QStringLiteral("ops");
    made.settings = settings;
    made.secret = secret;
    return made;
}

// What one send ended with, and how often done ran.
struct Sent {
    std::optional<SendOutcome> outcome;
    int calls = 0;
    ChannelSender::Done done() {
        return [this](const SendOutcome& sent) {
            outcome = sent;
            ++calls;
        };
    }
    bool accepted() const { return outcome && outcome->accepted; }
    QString reason() const { return outcome ? outcome->reason : QStringLiteral("(none)"); }
};

// The value at a dotted path of a JSON object, as text.
QString jsonAt(const QJsonObject& object, const QString& path) {
    QJsonValue value = object;
    for (const QString& key : path.split(u'.'))
        value = value.toObject().value(key);
    return value.isString() ? value.toString() : QString::number(value.toDouble());
}

// Decodes the encoded words of a header value.
QString decodedWords(const QString& value) {
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    QByteArray bytes;
    for (auto match = word.globalMatch(value); match.hasNext();)
        bytes += QByteArray::fromBase64(match.next().captured(1).toLatin1());
    return bytes.isEmpty() ? value : QString::fromUtf8(bytes);
}

// A mail's header value, unfolded.
QString mailHeader(const QString& mail, const QString& name) {
    const QString head = mail.left(mail.indexOf(QStringLiteral("\r\n\r\n")))
                             .replace(QStringLiteral("\r\n "), QStringLiteral(" "));
    for (const QString& line : head.split(QStringLiteral("\r\n")))
        if (line.startsWith(name + QStringLiteral(": ")))
            return line.mid(name.size() + 2);
    return {};
}

QString mailText(const QString& mail) {
    const QString body = mail.mid(mail.indexOf(QStringLiteral("\r\n\r\n")) + 4);
    return QString::fromUtf8(QByteArray::fromBase64(body.toLatin1()));
}

// Whether the process is gone (a zombie counts as gone).
bool processGone(const QString& pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray fields = stat.readAll();
    return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

} // namespace

Q_DECLARE_METATYPE(ChannelKind)
Q_DECLARE_METATYPE(ChannelMessage)

class TestChannelDelivery final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_folder;
    QString m_certificates;
    std::unique_ptr<ChannelSink> m_sink;
    std::unique_ptr<ChannelSink> m_secureSink;
    std::unique_ptr<SmtpSink> m_smtp;
    FakeClock m_clock;

    QString caFile() const { return m_certificates + QStringLiteral("/ca.pem"); }

    QJsonObject mailSettings(quint16 port, const QString& security, const QString& user) const {
        return {{"host", "127.0.0.1"},  {"port", port},
                {"security", security}, {"user", user},
                {"from", MailFrom},     {"to", QJsonArray{"oncall@ops.test", "lead@ops.test"}}};
    }

private slots:
    void initTestCase() {
        m_certificates = m_folder.filePath(QStringLiteral("certificates"));
        QCOMPARE(TlsPeers::makeCertificates(m_certificates), QString());
        m_sink = std::make_unique<ChannelSink>();
        m_secureSink = std::make_unique<ChannelSink>(m_certificates, QStringLiteral("chain"));
        m_smtp = std::make_unique<SmtpSink>(m_certificates, QStringLiteral("chain"),
                                            m_folder.filePath(QStringLiteral("mailbox")));
        QVERIFY(m_sink->port() != 0);
        QVERIFY(m_secureSink->port() != 0);
        QVERIFY(m_smtp->plainPort() != 0);
        m_clock.setUtcMs(SignedAtMs);
    }

    // Each HTTP kind against its sink route: what arrived, and what the
    // delivery made of the answer. Signatures are the vectors computed by
    // hand for SignedAtMs.
    void httpKinds_data() {
        QTest::addColumn<ChannelKind>("kind");
        QTest::addColumn<QJsonObject>("settings"); // "URL" in a value: the sink's address
        QTest::addColumn<QString>("secret");
        QTest::addColumn<ChannelMessage>("message");
        QTest::addColumn<QString>("reason"); // empty: accepted
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("headers"); // "name: value", names in lower case
        QTest::addColumn<QStringList>("body");    // "json.path=value", or "=text" for the body
        using K = ChannelKind;
        const QString text = alert().title + u'\n' + alert().message;
        const QString dedup = QStringLiteral("x-servermon-dedup-key: 7-alert-1765339200000");

        QTest::newRow("webhook alert")
            << K::Webhook << QJsonObject{{"url", "URL/ok/hook"}} << QString() << alert()
            << QString() << "/ok/hook" << QString()
            << QStringList{"content-type: application/json; charset=utf-8", dedup}
            << QStringList{"state=alert", "server=web", "title=" + alert().title,
                           "dedup_key=" + alert().dedupKey};
        QTest::newRow("webhook recovery, PUT, own header and template")
            << K::Webhook
            << QJsonObject{{"url", "URL/ok/hook"},
                           {"method", "PUT"},
                           {"headers", "X-Team: ops"},
                           {"template",
                            "{\"s\":\"{state}\",\"d\":\"{duration}\",\"m\":\"{message}\"}"}}
            << QString() << recovery() << QString() << "/ok/hook" << QString()
            << QStringList{"x-team: ops", "x-servermon-dedup-key: 7-recovery-1765339290000"}
            << QStringList{"s=recovery", "d=" + ServerAlerts::durationText(90000),
                           "m=" + alert().message};
        QTest::newRow("webhook 500") << K::Webhook << QJsonObject{{"url", "URL/fail/hook"}}
                                     << QString() << alert() << "HTTP状态码500"
                                     << "/fail/hook" << QString() << QStringList() << QStringList();
        QTest::newRow("DingTalk signed")
            << K::DingTalk << QJsonObject{{"url", "URL/ok/robot/send?access_token=tok"}}
            << "SECservermon" << alert() << QString() << "/ok/robot/send"
            << "access_token=tok&timestamp=1765339200123"
               "&sign=tdClNHq2qEYNOxEme9JVpV%2FtnxtOdNX77nYPwwJ%2B2ks%3D"
            << QStringList{"content-type: application/json; charset=utf-8"}
            << QStringList{"msgtype=text", "text.content=" + text};
        QTest::newRow("DingTalk refused with 200")
            << K::DingTalk << QJsonObject{{"url", "URL/refuse/robot/send?access_token=tok"}}
            << "SECservermon" << alert() << "对方返回错误:errcode 310000 keywords not in content"
            << "/refuse/robot/send" << QString() << QStringList() << QStringList();
        QTest::newRow("DingTalk, an answer not JSON")
            << K::DingTalk << QJsonObject{{"url", "URL/text/robot"}} << QString() << alert()
            << "对方的回应不是JSON"
            << "/text/robot" << QString() << QStringList() << QStringList();
        QTest::newRow("Feishu signed")
            << K::Feishu << QJsonObject{{"url", "URL/ok/open-apis/bot/v2/hook/x"}} << "demo"
            << alert() << QString() << "/ok/open-apis/bot/v2/hook/x" << QString() << QStringList()
            << QStringList{"timestamp=1765339200",
                           "sign=m/FkBf2OeBID227BFgVBm5CAU50IA4r1KlZXZMhX0+4=", "msg_type=text",
                           "content.text=" + text};
        QTest::newRow("Feishu refused with 200")
            << K::Feishu << QJsonObject{{"url", "URL/refuse/hook"}} << "demo" << alert()
            << "对方返回错误:code 19021 sign match fail or timestamp is not within one hour"
            << "/refuse/hook" << QString() << QStringList() << QStringList();
        QTest::newRow("WeCom markdown recovery")
            << K::WeCom
            << QJsonObject{{"url", "URL/ok/cgi-bin/webhook/send?key=k"}, {"format", "markdown"}}
            << QString() << recovery() << QString() << "/ok/cgi-bin/webhook/send"
            << "key=k" << QStringList()
            << QStringList{"msgtype=markdown",
                           "markdown.content=**" + recovery().title + "**\n" + recovery().message};
        QTest::newRow("WeCom refused with 200")
            << K::WeCom << QJsonObject{{"url", "URL/refuse/send?key=k"}, {"format", "text"}}
            << QString() << alert() << "对方返回错误:errcode 310000 keywords not in content"
            << "/refuse/send"
            << "key=k" << QStringList() << QStringList();
        QTest::newRow("Telegram") << K::Telegram
                                  << QJsonObject{{"api", "URL/ok"}, {"chat", "-10042"}}
                                  << "123456:ABC-def" << alert() << QString()
                                  << "/ok/bot123456:ABC-def/sendMessage" << QString()
                                  << QStringList{"content-type: application/json; charset=utf-8"}
                                  << QStringList{"chat_id=-10042", "text=" + text};
        QTest::newRow("Telegram refused with 200")
            << K::Telegram << QJsonObject{{"api", "URL/refuse/"}, {"chat", "-10042"}}
            << "123456:ABC-def" << alert() << "对方返回错误:error_code 401 Unauthorized"
            << "/refuse/bot123456:ABC-def/sendMessage" << QString() << QStringList()
            << QStringList();
        QTest::newRow("ntfy with token")
            << K::Ntfy << QJsonObject{{"url", "URL/ok"}, {"topic", "ops"}, {"priority", 4}}
            << "tk_ntfy" << alert() << QString() << "/ok/ops" << QString()
            << QStringList{"priority: 4", "authorization: Bearer tk_ntfy",
                           "title: " + alert().title}
            << QStringList{"=" + alert().message};
        QTest::newRow("ntfy 500") << K::Ntfy << QJsonObject{{"url", "URL/fail"}, {"topic", "ops"}}
                                  << QString() << alert() << "HTTP状态码500"
                                  << "/fail/ops" << QString() << QStringList() << QStringList();
    }
    void httpKinds() {
        QFETCH(ChannelKind, kind);
        QFETCH(QJsonObject, settings);
        QFETCH(QString, secret);
        QFETCH(ChannelMessage, message);
        QFETCH(QString, reason);
        QFETCH(QString, path);
        QFETCH(QString, query);
        QFETCH(QStringList, headers);
        QFETCH(QStringList, body);
        for (auto value = settings.begin(); value != settings.end(); ++value)
            if (value->isString())
                *value = value->toString().replace(QStringLiteral("URL"), m_sink->url({}));
        ChannelDelivery delivery(m_clock);
        Sent sent;
        const int before = int(m_sink->requests().size());
        delivery.send(channel(kind, settings, secret), message, sent.done());
        QVERIFY(!sent.outcome);
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QCOMPARE(sent.reason(), reason);
        QCOMPARE(sent.accepted(), reason.isEmpty());
        QCOMPARE(delivery.running(), 0);

        const QJsonArray requests = m_sink->requests();
        QCOMPARE(requests.size(), before + 1);
        const QJsonObject request = requests.last().toObject();
        QCOMPARE(request.value("method").toString(),
                 settings.value("method").toString(QStringLiteral("POST")));
        QCOMPARE(request.value("path").toString(), path);
        if (!query.isEmpty())
            QCOMPARE(request.value("query").toString(), query);
        const QJsonObject received = request.value("headers").toObject();
        for (const QString& header : headers) {
            const QString name = header.section(QStringLiteral(": "), 0, 0);
            QCOMPARE(decodedWords(received.value(name).toString()),
                     header.section(QStringLiteral(": "), 1));
        }
        const QString bodyText = request.value("body").toString();
        const QJsonObject json = QJsonDocument::fromJson(bodyText.toUtf8()).object();
        for (const QString& check : body) {
            const QString key = check.section(u'=', 0, 0);
            const QString value = check.section(u'=', 1);
            QCOMPARE(key.isEmpty() ? bodyText : jsonAt(json, key), value);
        }
        QCOMPARE(sent.calls, 1);
    }

    // HTTPS trusts the system's certificates and the CA file given, and
    // nothing goes to a peer whose certificate is not trusted.
    void httpsTrust_data() {
        QTest::addColumn<QString>("caFile"); // "CA": the test CA
        QTest::addColumn<QString>("reason"); // the reason starts so; empty: accepted
        QTest::newRow("CA file") << "CA" << QString();
        QTest::newRow("system store only") << QString() << "证书验证失败";
        QTest::newRow("CA file missing")
            << m_folder.filePath(QStringLiteral("missing.pem")) << "TLS设置有误:无法读取CA文件";
    }
    void httpsTrust() {
        QFETCH(QString, caFile);
        QFETCH(QString, reason);
        ChannelDelivery delivery(m_clock);
        delivery.setCaFile(caFile == QLatin1String("CA") ? this->caFile() : caFile);
        const int before = int(m_secureSink->requests().size());
        Sent sent;
        delivery.send(channel(ChannelKind::Webhook, {{"url", m_secureSink->url("/ok/hook", true)}}),
                      alert(), sent.done());
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QVERIFY2(sent.reason().startsWith(reason), qPrintable(sent.reason()));
        QCOMPARE(sent.accepted(), reason.isEmpty());
        QCOMPARE(int(m_secureSink->requests().size()), before + (reason.isEmpty() ? 1 : 0));
    }

    // A peer that is not there, or never answers, ends the send as not
    // accepted within the limit, and the event loop keeps turning meanwhile.
    void unreachablePeers_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("reason");
        QTest::newRow("closed port") << QStringLiteral("http://127.0.0.1:%1/ok").arg(closedPort())
                                     << "连接失败:Couldn't connect to server";
        QTest::newRow("silent sink") << m_sink->url(QStringLiteral("/silent/hook")) << "超时";
    }
    void unreachablePeers() {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        ChannelDelivery delivery(m_clock);
        delivery.setTimeLimitMs(700);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(20);
        QElapsedTimer elapsed;
        elapsed.start();
        Sent sent;
        delivery.send(channel(ChannelKind::Webhook, {{"url", url}}), alert(), sent.done());
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QCOMPARE(sent.reason(), reason);
        QVERIFY(!sent.accepted());
        QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
        if (reason == QLatin1String("超时")) {
            QVERIFY2(elapsed.elapsed() >= 600, qPrintable(QString::number(elapsed.elapsed())));
            // About 35 ticks in 700 ms; far fewer would mean a blocked loop.
            QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        }
    }

    // Sends run side by side: quick ones end while silent ones still wait,
    // each calls back once.
    void severalAtOnce() {
        ChannelDelivery delivery(m_clock);
        delivery.setTimeLimitMs(1500);
        QList<std::shared_ptr<Sent>> silent;
        QList<std::shared_ptr<Sent>> quick;
        for (int i = 0; i < 4; ++i) {
            silent << std::make_shared<Sent>();
            delivery.send(channel(ChannelKind::Webhook, {{"url", m_sink->url("/silent/many")}}),
                          alert(), silent.last()->done());
            quick << std::make_shared<Sent>();
            delivery.send(channel(ChannelKind::Webhook, {{"url", m_sink->url("/ok/many")}}),
                          alert(), quick.last()->done());
        }
        QCOMPARE(delivery.running(), 8);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(quick.begin(), quick.end(), [](const auto& sent) { return sent->outcome; }),
            WaitMs);
        for (const auto& sent : std::as_const(quick))
            QVERIFY(sent->accepted());
        QTRY_COMPARE_WITH_TIMEOUT(delivery.running(), 0, WaitMs);
        for (const auto& sent : std::as_const(silent)) {
            QCOMPARE(sent->reason(), QStringLiteral("超时"));
            QCOMPARE(sent->calls, 1);
        }
    }

    // Destroying the delivery ends what runs, HTTP and commands alike, and
    // calls nobody back; the command's process group is gone.
    void destroyingCancelsWithoutCallingBack() {
        const QString pids = m_folder.filePath(QStringLiteral("cancelled.pids"));
        auto delivery = std::make_unique<ChannelDelivery>(m_clock);
        Sent http;
        Sent command;
        delivery->send(channel(ChannelKind::Webhook, {{"url", m_sink->url("/silent/cancel")}}),
                       alert(), http.done());
        delivery->send(channel(ChannelKind::Command,
                               {{"program", "/usr/bin/python3"},
                                {"args", QJsonArray{ChannelPeers::sourceFile("command-peer.py"),
                                                    "--sleep", pids}}}),
                       alert(), command.done());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(pids), WaitMs);
        QFile file(pids);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList both = QString::fromLatin1(file.readAll()).split(u' ');
        QCOMPARE(both.size(), 2);
        delivery.reset();
        QTRY_VERIFY_WITH_TIMEOUT(processGone(both.at(0)) && processGone(both.at(1)), WaitMs);
        QTest::qWait(100);
        QCOMPARE(http.calls, 0);
        QCOMPARE(command.calls, 0);
    }

    // Settings that make no request end the send from the event loop, as
    // every outcome does, with the reason.
    void unusableSettingsEndLater_data() {
        QTest::addColumn<ChannelKind>("kind");
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<QString>("reason");
        QTest::newRow("webhook without URL")
            << ChannelKind::Webhook << QJsonObject() << "URL无效:需要http或https地址";
        QTest::newRow("e-mail without recipient")
            << ChannelKind::Email
            << QJsonObject{{"host", "127.0.0.1"}, {"from", MailFrom}, {"to", QJsonArray()}}
            << "邮件设置有误:没有收件人";
        QTest::newRow("command that does not exist")
            << ChannelKind::Command
            << QJsonObject{{"program", m_folder.filePath(QStringLiteral("missing"))}}
            << "命令无法启动:";
        QTest::newRow("command without program")
            << ChannelKind::Command << QJsonObject() << "命令无法启动:";
    }
    void unusableSettingsEndLater() {
        QFETCH(ChannelKind, kind);
        QFETCH(QJsonObject, settings);
        QFETCH(QString, reason);
        ChannelDelivery delivery(m_clock);
        Sent sent;
        delivery.send(channel(kind, settings), alert(), sent.done());
        QVERIFY(!sent.outcome);
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QVERIFY2(sent.reason().startsWith(reason), qPrintable(sent.reason()));
        QVERIFY(!sent.accepted());
        QTRY_COMPARE(delivery.running(), 0);
        QCOMPARE(sent.calls, 1);
    }

    // A real SMTP server: plain, STARTTLS and TLS, with and without a login.
    void mail_data() {
        QTest::addColumn<QString>("security");
        QTest::addColumn<int>("server"); // 0 plain, 1 STARTTLS, 2 TLS, 3 a closed port
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("withCaFile");
        QTest::addColumn<ChannelMessage>("message");
        QTest::addColumn<QString>("reason"); // empty: accepted
        const QString good = QString::fromLatin1(SmtpSink::Password);
        QTest::newRow("none") << "none" << 0 << QString() << QString() << true << alert()
                              << QString();
        QTest::newRow("none with login")
            << "none" << 0 << "alert" << good << true << recovery() << QString();
        QTest::newRow("STARTTLS") << "starttls" << 1 << "alert" << good << true << alert()
                                  << QString();
        QTest::newRow("TLS") << "tls" << 2 << "alert" << good << true << recovery() << QString();
        QTest::newRow("bad password")
            << "starttls" << 1 << "alert"
            << "wrong-Password" << true << alert() << "登录被拒绝:用户名或密码不对";
        QTest::newRow("untrusted certificate")
            << "tls" << 2 << "alert" << good << false << alert() << "证书验证失败";
        QTest::newRow("no STARTTLS where the server demands it")
            << "none" << 1 << QString() << QString() << true << alert() << "SMTP服务器拒绝:530";
        QTest::newRow("STARTTLS where the server has none")
            << "starttls" << 0 << QString() << QString() << true << alert()
            << "服务器不支持STARTTLS";
        QTest::newRow("closed port") << "none" << 3 << QString() << QString() << true << alert()
                                     << "连接失败:Couldn't connect to server";
    }
    void mail() {
        QFETCH(QString, security);
        QFETCH(int, server);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, withCaFile);
        QFETCH(ChannelMessage, message);
        QFETCH(QString, reason);
        const quint16 ports[] = {m_smtp->plainPort(), m_smtp->startTlsPort(), m_smtp->tlsPort(),
                                 closedPort()};
        ChannelDelivery delivery(m_clock);
        if (withCaFile)
            delivery.setCaFile(caFile());
        const qsizetype before = m_smtp->mails().size();
        Sent sent;
        delivery.send(
            channel(ChannelKind::Email, mailSettings(ports[server], security, user), password),
            message, sent.done());
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QCOMPARE(sent.reason(), reason);
        QCOMPARE(sent.accepted(), reason.isEmpty());
        if (!password.isEmpty())
            QVERIFY(!sent.reason().contains(password));
        const QList<QJsonObject> mails = m_smtp->mails();
        if (!reason.isEmpty()) {
            QCOMPARE(mails.size(), before);
            return;
        }
        QCOMPARE(mails.size(), before + 1);
        const QJsonObject& mail = mails.last();
        QCOMPARE(mail.value("from").toString(), QString::fromLatin1(MailFrom));
        QCOMPARE(mail.value("to").toArray(), (QJsonArray{"oncall@ops.test", "lead@ops.test"}));
        QCOMPARE(mail.value("login").toString(), user);
        const QString data = mail.value("data").toString();
        QCOMPARE(decodedWords(mailHeader(data, "Subject")), message.title);
        QCOMPARE(mailHeader(data, "From"), QString::fromLatin1(MailFrom));
        QCOMPARE(mailHeader(data, "To"), QStringLiteral("oncall@ops.test, lead@ops.test"));
        QCOMPARE(mailHeader(data, "X-Servermon-Dedup-Key"), message.dedupKey);
        QCOMPARE(QDateTime::fromString(mailHeader(data, "Date"), Qt::RFC2822Date),
                 QDateTime::fromMSecsSinceEpoch(SignedAtMs / 1000 * 1000));
        QCOMPARE(mailText(data), QString(message.message).replace(u'\n', QStringLiteral("\r\n")) +
                                     QStringLiteral("\r\n"));
    }

    // A command: arguments as given, no shell; the event in its environment;
    // exit 0 accepted, anything else not; killed at the limit.
    void commands_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<ChannelMessage>("message");
        QTest::addColumn<QString>("reason");
        QTest::newRow("exit 0, alert") << "0" << alert() << QString();
        QTest::newRow("exit 0, recovery") << "0" << recovery() << QString();
        QTest::newRow("exit 3") << "3" << alert() << "命令退出码3";
        QTest::newRow("past the limit") << "--sleep" << alert() << "超时";
    }
    void commands() {
        QFETCH(QString, mode);
        QFETCH(ChannelMessage, message);
        QFETCH(QString, reason);
        const QString output = m_folder.filePath(QStringLiteral("command-%1.json").arg(mode));
        QFile::remove(output);
        const QStringList literal{QStringLiteral("two words"), QStringLiteral("$HOME;`id`")};
        QJsonArray arguments{ChannelPeers::sourceFile("command-peer.py")};
        arguments << (mode == QLatin1String("--sleep") ? QJsonValue(mode) : QJsonValue(output));
        arguments << (mode == QLatin1String("--sleep") ? QJsonValue(output) : QJsonValue(mode));
        for (const QString& argument : literal)
            arguments << argument;
        ChannelDelivery delivery(m_clock);
        delivery.setTimeLimitMs(1500);
        QElapsedTimer elapsed;
        elapsed.start();
        Sent sent;
        delivery.send(
            channel(ChannelKind::Command, {{"program", "/usr/bin/python3"}, {"args", arguments}}),
            message, sent.done());
        QVERIFY(!sent.outcome);
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QCOMPARE(sent.reason(), reason);
        QCOMPARE(sent.accepted(), reason.isEmpty());
        QCOMPARE(sent.calls, 1);
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (mode == QLatin1String("--sleep")) {
            QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
            const QStringList both = QString::fromLatin1(file.readAll()).split(u' ');
            QCOMPARE(both.size(), 2);
            QTRY_VERIFY_WITH_TIMEOUT(processGone(both.at(0)) && processGone(both.at(1)), WaitMs);
            return;
        }
        const QJsonObject written = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(written.value("arguments").toArray(), QJsonArray::fromStringList(literal));
        const QJsonObject environment = written.value("environment").toObject();
        for (const char* name : {"TITLE", "MESSAGE", "SERVER", "SERVER_ID", "ADDRESS", "PORT",
                                 "STATUS", "STATE", "TIME", "DURATION", "DEDUP_KEY"})
            QVERIFY2(environment.contains(QStringLiteral("SERVERMON_") + QLatin1String(name)),
                     name);
        QCOMPARE(environment.value("SERVERMON_TITLE").toString(), message.title);
        QCOMPARE(environment.value("SERVERMON_MESSAGE").toString(), message.message);
        QCOMPARE(environment.value("SERVERMON_SERVER").toString(), QStringLiteral("web"));
        QCOMPARE(environment.value("SERVERMON_SERVER_ID").toString(), QStringLiteral("7"));
        QCOMPARE(environment.value("SERVERMON_STATUS").toString(), message.event.status);
        QCOMPARE(environment.value("SERVERMON_STATE").toString(),
                 message.event.kind == AlertEvent::Kind::Recovery ? QStringLiteral("recovery")
                                                                  : QStringLiteral("alert"));
        QCOMPARE(environment.value("SERVERMON_DEDUP_KEY").toString(), message.dedupKey);
    }

    // No reason shows the secret, a signature made with it or the Telegram
    // URL, even when the peer quotes the whole request back, or when the
    // peer cannot be reached.
    void noSecretInAnyReason_data() {
        QTest::addColumn<ChannelKind>("kind");
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QStringList>("hidden"); // besides the secret
        const QString closed = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
        QTest::newRow("Telegram quoting")
            << ChannelKind::Telegram << QJsonObject{{"api", m_sink->url("/quote")}, {"chat", "1"}}
            << "424242:Telegram-Token_x" << QStringList();
        QTest::newRow("Telegram unreachable")
            << ChannelKind::Telegram << QJsonObject{{"api", closed}, {"chat", "1"}}
            << "424242:Telegram-Token_x" << QStringList();
        QTest::newRow("Telegram silent")
            << ChannelKind::Telegram << QJsonObject{{"api", m_sink->url("/silent")}, {"chat", "1"}}
            << "424242:Telegram-Token_x" << QStringList();
        QTest::newRow("DingTalk quoting")
            << ChannelKind::DingTalk << QJsonObject{{"url", m_sink->url("/quote/robot")}}
            << "SECservermon"
            << QStringList{"tdClNHq2qEYNOxEme9JVpV/tnxtOdNX77nYPwwJ+2ks=",
                           "tdClNHq2qEYNOxEme9JVpV%2FtnxtOdNX77nYPwwJ%2B2ks%3D"};
        QTest::newRow("Feishu quoting")
            << ChannelKind::Feishu << QJsonObject{{"url", m_sink->url("/quote/hook")}} << "demo"
            << QStringList{"m/FkBf2OeBID227BFgVBm5CAU50IA4r1KlZXZMhX0+4="};
    }
    void noSecretInAnyReason() {
        QFETCH(ChannelKind, kind);
        QFETCH(QJsonObject, settings);
        QFETCH(QString, secret);
        QFETCH(QStringList, hidden);
        ChannelDelivery delivery(m_clock);
        delivery.setTimeLimitMs(700);
        Sent sent;
        delivery.send(channel(kind, settings, secret), alert(), sent.done());
        QTRY_VERIFY_WITH_TIMEOUT(sent.outcome, WaitMs);
        QVERIFY(!sent.accepted());
        QVERIFY(!sent.reason().isEmpty());
        for (const QString& text : hidden + QStringList{secret, secret.left(8), secret.right(8)})
            QVERIFY2(!sent.reason().contains(text), qPrintable(sent.reason()));
    }
};

QTEST_GUILESS_MAIN(TestChannelDelivery)
#include "tst_channeldelivery.moc"
