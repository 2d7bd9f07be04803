#include "notify/ChannelValidation.h"

#include <QJsonArray>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(Channel)

namespace {

Channel make(ChannelKind kind, const QJsonObject& settings, const QString& secret = {}) {
    Channel channel;
    channel.id = 1;
    channel.kind = kind;
    channel.name = QStringLiteral("值班群");
    channel.settings = settings;
    channel.secret = secret;
    return channel;
}

Channel webhook() {
    return make(ChannelKind::Webhook, {{"url", "http://127.0.0.1:8080/hook"},
                                       {"method", "POST"},
                                       {"headers", "X-Token: abc\n\nAccept: */*"},
                                       {"template", ""}});
}

Channel email() {
    return make(ChannelKind::Email,
                {{"host", "smtp.example.com"},
                 {"port", 587},
                 {"security", "starttls"},
                 {"user", "ops"},
                 {"from", "ops@example.com"},
                 {"to", QJsonArray{"a@example.com", "b@example.com"}}},
                "password");
}

Channel withUrl(ChannelKind kind) {
    return make(kind, {{"url", "https://oapi.dingtalk.com/robot/send?access_token=x"}});
}

Channel weCom() {
    return make(ChannelKind::WeCom,
                {{"url", "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=k"},
                 {"format", "markdown"}});
}

Channel telegram() {
    return make(ChannelKind::Telegram, {{"api", "https://api.telegram.org"}, {"chat", "-100123"}},
                "123:ABC");
}

Channel ntfy() {
    return make(ChannelKind::Ntfy,
                {{"url", "https://ntfy.sh"}, {"topic", "server_alerts-1"}, {"priority", 3}});
}

Channel command() {
    return make(ChannelKind::Command, {{"program", "/usr/bin/logger"}, {"args", QJsonArray{"-t"}}});
}

// The channel with one setting replaced, or removed when value is undefined.
Channel with(Channel channel, const QString& key, const QJsonValue& value) {
    if (value.isUndefined())
        channel.settings.remove(key);
    else
        channel.settings.insert(key, value);
    return channel;
}

Channel changed(Channel channel, const std::function<void(Channel&)>& change) {
    change(channel);
    return channel;
}

const QString UrlScheme = QStringLiteral("URL必须以 http:// 或 https:// 开头！");
const QString UrlHost = QStringLiteral("URL缺少主机名！");

} // namespace

class TestChannelValidation final : public QObject {
    Q_OBJECT
private slots:
    // expected: the whole message, or its start for the template's, which
    // ends with the JSON parser's own words; empty: the channel may be saved.
    void problem_data() {
        QTest::addColumn<Channel>("channel");
        QTest::addColumn<QString>("expected");

        QTest::newRow("webhook") << webhook() << "";
        QTest::newRow("webhook PUT with a JSON template")
            << with(with(webhook(), "method", "PUT"), "template",
                    "{\"text\": \"{title}: {message}\", \"at\": \"{time}\"}")
            << "";
        QTest::newRow("webhook plain text template")
            << with(webhook(), "template", "告警 {title} {message}") << "";
        QTest::newRow("email") << email() << "";
        QTest::newRow("email without login, implicit TLS")
            << with(with(with(email(), "user", ""), "security", "tls"), "port", 465) << "";
        QTest::newRow("dingtalk without secret") << withUrl(ChannelKind::DingTalk) << "";
        QTest::newRow("feishu") << withUrl(ChannelKind::Feishu) << "";
        QTest::newRow("wecom") << weCom() << "";
        QTest::newRow("telegram") << telegram() << "";
        QTest::newRow("telegram channel name") << with(telegram(), "chat", "@ops_channel") << "";
        QTest::newRow("ntfy lowest") << with(ntfy(), "priority", 1) << "";
        QTest::newRow("ntfy highest") << with(ntfy(), "priority", 5) << "";
        QTest::newRow("command") << command() << "";
        QTest::newRow("storm off") << changed(ntfy(), [](Channel& c) { c.stormLimit = 0; }) << "";
        QTest::newRow("storm 1000")
            << changed(ntfy(), [](Channel& c) { c.stormLimit = 1000; }) << "";

        QTest::newRow("name empty")
            << changed(webhook(), [](Channel& c) { c.name.clear(); }) << "通知渠道名称不能为空！";
        QTest::newRow("name blank")
            << changed(webhook(), [](Channel& c) { c.name = "  "; }) << "通知渠道名称不能为空！";
        QTest::newRow("name taken") << changed(webhook(), [](Channel& c) { c.id = 0; })
                                    << "已有名为“值班群”的通知渠道,请换一个名称！";

        QTest::newRow("webhook URL without scheme")
            << with(webhook(), "url", "127.0.0.1:8080/hook") << UrlScheme;
        QTest::newRow("webhook ftp URL") << with(webhook(), "url", "ftp://127.0.0.1/") << UrlScheme;
        QTest::newRow("webhook URL without host")
            << with(webhook(), "url", "http:///hook") << UrlHost;
        QTest::newRow("webhook GET")
            << with(webhook(), "method", "GET") << "请求方法只能是 POST 或 PUT！";
        QTest::newRow("webhook method missing")
            << with(webhook(), "method", QJsonValue::Undefined) << "请求方法只能是 POST 或 PUT！";
        QTest::newRow("webhook header without colon")
            << with(webhook(), "headers", "X-Token: abc\nBearer xyz")
            << "请求头第 2 行没有冒号,应写成“名称: 值”！";
        QTest::newRow("webhook template not JSON after substitution")
            << with(webhook(), "template", "{\"text\": {message}}")
            << "消息模板替换后不是有效的JSON:";

        QTest::newRow("dingtalk URL without scheme")
            << with(withUrl(ChannelKind::DingTalk), "url", "oapi.dingtalk.com/robot/send")
            << UrlScheme;
        QTest::newRow("feishu URL without host")
            << with(withUrl(ChannelKind::Feishu), "url", "https://") << UrlHost;
        QTest::newRow("wecom URL empty") << with(weCom(), "url", "") << "URL不能为空！";
        QTest::newRow("wecom html")
            << with(weCom(), "format", "html") << "消息格式只能是 text 或 markdown！";

        QTest::newRow("telegram API without scheme")
            << with(telegram(), "api", "api.telegram.org") << "API地址有误:" + UrlScheme;
        QTest::newRow("telegram token empty")
            << changed(telegram(), [](Channel& c) { c.secret.clear(); }) << "Bot Token不能为空！";
        QTest::newRow("telegram chat empty")
            << with(telegram(), "chat", " ") << "Chat ID不能为空！";

        QTest::newRow("ntfy server without host")
            << with(ntfy(), "url", "https://:80/") << "服务器URL有误:" + UrlHost;
        QTest::newRow("ntfy topic empty") << with(ntfy(), "topic", "") << "主题不能为空！";
        QTest::newRow("ntfy topic with a slash")
            << with(ntfy(), "topic", "a/b") << "主题只能由字母、数字、“-”和“_”组成,最长64个字符！";
        QTest::newRow("ntfy priority 0")
            << with(ntfy(), "priority", 0) << "优先级必须是1到5之间的整数！";
        QTest::newRow("ntfy priority 6")
            << with(ntfy(), "priority", 6) << "优先级必须是1到5之间的整数！";
        QTest::newRow("ntfy priority 2.5")
            << with(ntfy(), "priority", 2.5) << "优先级必须是1到5之间的整数！";

        QTest::newRow("email host empty") << with(email(), "host", "") << "SMTP服务器不能为空！";
        QTest::newRow("email host with a line break")
            << with(email(), "host", "smtp\r\nexample.com") << "SMTP服务器不能包含空格或控制字符！";
        QTest::newRow("email port 0")
            << with(email(), "port", 0) << "SMTP端口必须是1到65535之间的整数！";
        QTest::newRow("email port 65536")
            << with(email(), "port", 65536) << "SMTP端口必须是1到65535之间的整数！";
        QTest::newRow("email port as text")
            << with(email(), "port", "25a") << "SMTP端口必须是1到65535之间的整数！";
        QTest::newRow("email port missing")
            << with(email(), "port", QJsonValue::Undefined) << "SMTP端口必须是1到65535之间的整数！";
        QTest::newRow("email security ssl")
            << with(email(), "security", "ssl") << "加密方式只能是无、STARTTLS或TLS！";
        QTest::newRow("email from without @")
            << with(email(), "from", "ops.example.com") << "发件人地址必须包含“@”！";
        QTest::newRow("email from with a header")
            << with(email(), "from", "ops@example.com\r\nBcc: x@example.com")
            << "邮件地址“ops@example.com\r\nBcc: x@example.com”不能包含空格或控制字符！";
        QTest::newRow("email no recipient")
            << with(email(), "to", QJsonArray{}) << "请至少填写一个收件人！";
        QTest::newRow("email recipient without @")
            << with(email(), "to", QJsonArray{"a@example.com", "b.example.com"})
            << "收件人地址“b.example.com”必须包含“@”！";

        QTest::newRow("command program empty")
            << with(command(), "program", "") << "程序不能为空！";
        QTest::newRow("storm negative") << changed(ntfy(), [](Channel& c) { c.stormLimit = -1; })
                                        << "告警合并阈值必须是0到1000之间的整数！";
        QTest::newRow("storm 1001") << changed(ntfy(), [](Channel& c) { c.stormLimit = 1001; })
                                    << "告警合并阈值必须是0到1000之间的整数！";
    }
    void problem() {
        QFETCH(Channel, channel);
        QFETCH(QString, expected);
        // The stored channels: the channel itself (ID 1) and another one.
        Channel other = command();
        other.id = 2;
        other.name = QStringLiteral("运维");
        const QString found = ChannelValidation::problem(channel, {webhook(), other});
        if (expected.isEmpty())
            QCOMPARE(found, QString());
        else
            QVERIFY2(found.startsWith(expected) && (found == expected || expected.endsWith(':')),
                     qPrintable(found));
    }

    // A rename to another channel's name is refused; names differing only in
    // case are different channels, as --send-test finds them.
    void namesAreUniqueAsTyped() {
        Channel other = command();
        other.id = 2;
        other.name = QStringLiteral("Ops");
        Channel channel = webhook();
        channel.name = QStringLiteral("Ops");
        QCOMPARE(ChannelValidation::problem(channel, {other}),
                 QStringLiteral("已有名为“Ops”的通知渠道,请换一个名称！"));
        channel.name = QStringLiteral("ops");
        QCOMPARE(ChannelValidation::problem(channel, {other}), QString());
    }
};

QTEST_GUILESS_MAIN(TestChannelValidation)
#include "tst_channelvalidation.moc"
