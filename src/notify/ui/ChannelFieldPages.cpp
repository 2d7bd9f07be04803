#include "notify/ui/ChannelFieldPages.h"

#include <QComboBox>
#include <QFormLayout>
#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSpinBox>

namespace {

const QString DefaultTelegramApi = QStringLiteral("https://api.telegram.org");

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLineEdit* lineField(const char* name, const QString& placeholder = {}) {
    auto* field = named(new QLineEdit, name);
    field->setPlaceholderText(placeholder);
    return field;
}

QLineEdit* secretLine(const char* name, const QString& placeholder) {
    QLineEdit* field = lineField(name, placeholder);
    field->setEchoMode(QLineEdit::Password);
    return field;
}

QPlainTextEdit* textField(const char* name, const QString& placeholder) {
    auto* field = named(new QPlainTextEdit, name);
    field->setPlaceholderText(placeholder);
    field->setTabChangesFocus(true);
    return field;
}

QComboBox* choiceField(const char* name, const QList<std::pair<QString, QString>>& choices) {
    auto* field = named(new QComboBox, name);
    for (const auto& [text, key] : choices)
        field->addItem(text, key);
    return field;
}

void choose(QComboBox* field, const QJsonValue& key) {
    if (const int index = field->findData(key.toString()); index >= 0)
        field->setCurrentIndex(index);
}

QFormLayout* newPage(QStackedWidget& pages) {
    auto* page = new QWidget;
    auto* fields = new QFormLayout(page);
    fields->setContentsMargins(0, 0, 0, 0);
    pages.addWidget(page);
    return fields;
}

QString text(const QLineEdit* field) {
    return field->text().trimmed();
}

QJsonArray lines(const QString& text, const QRegularExpression& separator) {
    QJsonArray items;
    for (const QString& item : text.split(separator, Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed());
    return items;
}

QString joinedLines(const QJsonValue& items) {
    QStringList texts;
    for (const QJsonValue& item : items.toArray())
        texts << item.toString();
    return texts.join(QLatin1Char('\n'));
}

// A port as typed: the number when it is one, else the text, which the
// validation refuses.
QJsonValue portValue(const QString& typed) {
    bool number = false;
    const int port = typed.toInt(&number);
    return number ? QJsonValue(port) : QJsonValue(typed);
}

int usualPort(const QString& security) {
    if (security == QLatin1String("starttls"))
        return 587;
    if (security == QLatin1String("tls"))
        return 465;
    return 25;
}

} // namespace

ChannelFieldPages::ChannelFieldPages(QWidget* parent)
    : QStackedWidget(parent) {
    setObjectName(QStringLiteral("ChannelFieldPages"));
    addWebhookPage();
    addEmailPage();
    addDingTalkPage();
    addFeishuPage();
    addWeComPage();
    addTelegramPage();
    addNtfyPage();
    addCommandPage();
}

void ChannelFieldPages::addWebhookPage() {
    TextWebhookUrl = lineField("TextWebhookUrl", QStringLiteral("https://"));
    ComboMethod = choiceField("ComboMethod", {{QStringLiteral("POST"), QStringLiteral("POST")},
                                              {QStringLiteral("PUT"), QStringLiteral("PUT")}});
    TextHeaders = textField("TextHeaders", tr("每行一个,写成“名称: 值”"));
    TextTemplate =
        textField("TextTemplate",
                  tr("为空时发送默认的JSON。可用占位符:{title} {message} {server} {address} {port} "
                     "{status} {state} {time} {duration}"));
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("URL:"), TextWebhookUrl);
    fields->addRow(tr("请求方法:"), ComboMethod);
    fields->addRow(tr("附加请求头:"), TextHeaders);
    fields->addRow(tr("消息模板:"), TextTemplate);
}

void ChannelFieldPages::addEmailPage() {
    TextSmtpHost = lineField("TextSmtpHost");
    ComboSecurity =
        choiceField("ComboSecurity", {{tr("无"), QStringLiteral("none")},
                                      {QStringLiteral("STARTTLS"), QStringLiteral("starttls")},
                                      {QStringLiteral("TLS"), QStringLiteral("tls")}});
    ComboSecurity->setCurrentIndex(1);
    TextSmtpPort = lineField("TextSmtpPort");
    TextSmtpPort->setText(QString::number(usualPort(QStringLiteral("starttls"))));
    TextSmtpUser = lineField("TextSmtpUser", tr("可选"));
    TextSmtpPassword = secretLine("TextSmtpPassword", tr("可选"));
    TextMailFrom = lineField("TextMailFrom");
    TextMailTo = textField("TextMailTo", tr("多个地址用逗号、分号或换行分隔"));
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("SMTP服务器:"), TextSmtpHost);
    fields->addRow(tr("端口:"), TextSmtpPort);
    fields->addRow(tr("加密方式:"), ComboSecurity);
    fields->addRow(tr("用户名:"), TextSmtpUser);
    fields->addRow(tr("密码:"), TextSmtpPassword);
    fields->addRow(tr("发件人:"), TextMailFrom);
    fields->addRow(tr("收件人:"), TextMailTo);
    connect(ComboSecurity, &QComboBox::currentIndexChanged, this,
            &ChannelFieldPages::ComboSecurity_Click);
}

void ChannelFieldPages::addDingTalkPage() {
    TextDingTalkUrl = lineField("TextDingTalkUrl", QStringLiteral("https://"));
    TextDingTalkSecret = secretLine("TextDingTalkSecret", tr("可选"));
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("URL:"), TextDingTalkUrl);
    fields->addRow(tr("加签密钥:"), TextDingTalkSecret);
}

void ChannelFieldPages::addFeishuPage() {
    TextFeishuUrl = lineField("TextFeishuUrl", QStringLiteral("https://"));
    TextFeishuSecret = secretLine("TextFeishuSecret", tr("可选"));
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("URL:"), TextFeishuUrl);
    fields->addRow(tr("签名密钥:"), TextFeishuSecret);
}

void ChannelFieldPages::addWeComPage() {
    TextWeComUrl = lineField("TextWeComUrl", tr("含key的机器人地址"));
    ComboWeComFormat =
        choiceField("ComboWeComFormat", {{tr("文本"), QStringLiteral("text")},
                                         {QStringLiteral("Markdown"), QStringLiteral("markdown")}});
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("URL:"), TextWeComUrl);
    fields->addRow(tr("消息格式:"), ComboWeComFormat);
}

void ChannelFieldPages::addTelegramPage() {
    TextTelegramApi = lineField("TextTelegramApi");
    TextTelegramApi->setText(DefaultTelegramApi);
    TextTelegramToken = secretLine("TextTelegramToken", {});
    TextTelegramChat = lineField("TextTelegramChat");
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("API地址:"), TextTelegramApi);
    fields->addRow(tr("Bot Token:"), TextTelegramToken);
    fields->addRow(tr("Chat ID:"), TextTelegramChat);
}

void ChannelFieldPages::addNtfyPage() {
    TextNtfyUrl = lineField("TextNtfyUrl", QStringLiteral("https://ntfy.sh"));
    TextNtfyTopic = lineField("TextNtfyTopic");
    TextNtfyToken = secretLine("TextNtfyToken", tr("可选"));
    SpinNtfyPriority = named(new QSpinBox, "SpinNtfyPriority");
    SpinNtfyPriority->setRange(1, 5);
    SpinNtfyPriority->setValue(DefaultNtfyPriority);
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("服务器URL:"), TextNtfyUrl);
    fields->addRow(tr("主题:"), TextNtfyTopic);
    fields->addRow(tr("访问令牌:"), TextNtfyToken);
    fields->addRow(tr("优先级:"), SpinNtfyPriority);
}

void ChannelFieldPages::addCommandPage() {
    TextProgram = lineField("TextProgram");
    TextArguments = textField("TextArguments", tr("每行一个参数"));
    QFormLayout* fields = newPage(*this);
    fields->addRow(tr("程序:"), TextProgram);
    fields->addRow(tr("参数:"), TextArguments);
}

void ChannelFieldPages::ComboSecurity_Click() {
    static const QStringList usual = {QStringLiteral("25"), QStringLiteral("587"),
                                      QStringLiteral("465")};
    if (TextSmtpPort->text().trimmed().isEmpty() || usual.contains(TextSmtpPort->text().trimmed()))
        TextSmtpPort->setText(QString::number(usualPort(ComboSecurity->currentData().toString())));
}

void ChannelFieldPages::showKind(ChannelKind kind) {
    setCurrentIndex(static_cast<int>(ChannelKinds::all().indexOf(kind)));
}

void ChannelFieldPages::fill(const Channel& channel) {
    const QJsonObject& s = channel.settings;
    const auto value = [&s](const char* key) { return s.value(QLatin1String(key)).toString(); };
    switch (channel.kind) {
    case ChannelKind::Webhook:
        TextWebhookUrl->setText(value("url"));
        choose(ComboMethod, s.value(QLatin1String("method")));
        TextHeaders->setPlainText(value("headers"));
        TextTemplate->setPlainText(value("template"));
        break;
    case ChannelKind::Email:
        TextSmtpHost->setText(value("host"));
        // Chosen before the port is set, so the port is not replaced.
        choose(ComboSecurity, s.value(QLatin1String("security")));
        TextSmtpPort->setText(s.value(QLatin1String("port")).isDouble()
                                  ? QString::number(s.value(QLatin1String("port")).toInt())
                                  : value("port"));
        TextSmtpUser->setText(value("user"));
        TextMailFrom->setText(value("from"));
        TextMailTo->setPlainText(joinedLines(s.value(QLatin1String("to"))));
        break;
    case ChannelKind::DingTalk:
        TextDingTalkUrl->setText(value("url"));
        break;
    case ChannelKind::Feishu:
        TextFeishuUrl->setText(value("url"));
        break;
    case ChannelKind::WeCom:
        TextWeComUrl->setText(value("url"));
        choose(ComboWeComFormat, s.value(QLatin1String("format")));
        break;
    case ChannelKind::Telegram:
        TextTelegramApi->setText(value("api"));
        TextTelegramChat->setText(value("chat"));
        break;
    case ChannelKind::Ntfy:
        TextNtfyUrl->setText(value("url"));
        TextNtfyTopic->setText(value("topic"));
        SpinNtfyPriority->setValue(s.value(QLatin1String("priority")).toInt(DefaultNtfyPriority));
        break;
    case ChannelKind::Command:
        TextProgram->setText(value("program"));
        TextArguments->setPlainText(joinedLines(s.value(QLatin1String("args"))));
        break;
    }
    if (QLineEdit* secret = secretField(channel.kind); secret && !channel.secret.isEmpty())
        secret->setPlaceholderText(tr("已保存,留空则保持不变"));
    showKind(channel.kind);
}

QJsonObject ChannelFieldPages::settings(ChannelKind kind) const {
    switch (kind) {
    case ChannelKind::Webhook:
        return {{QStringLiteral("url"), text(TextWebhookUrl)},
                {QStringLiteral("method"), ComboMethod->currentData().toString()},
                {QStringLiteral("headers"), TextHeaders->toPlainText()},
                {QStringLiteral("template"), TextTemplate->toPlainText()}};
    case ChannelKind::Email: {
        static const QRegularExpression separators(QStringLiteral("[,;\\r\\n]+"));
        return {{QStringLiteral("host"), text(TextSmtpHost)},
                {QStringLiteral("port"), portValue(text(TextSmtpPort))},
                {QStringLiteral("security"), ComboSecurity->currentData().toString()},
                {QStringLiteral("user"), text(TextSmtpUser)},
                {QStringLiteral("from"), text(TextMailFrom)},
                {QStringLiteral("to"), lines(TextMailTo->toPlainText(), separators)}};
    }
    case ChannelKind::DingTalk:
        return {{QStringLiteral("url"), text(TextDingTalkUrl)}};
    case ChannelKind::Feishu:
        return {{QStringLiteral("url"), text(TextFeishuUrl)}};
    case ChannelKind::WeCom:
        return {{QStringLiteral("url"), text(TextWeComUrl)},
                {QStringLiteral("format"), ComboWeComFormat->currentData().toString()}};
    case ChannelKind::Telegram:
        return {{QStringLiteral("api"), text(TextTelegramApi)},
                {QStringLiteral("chat"), text(TextTelegramChat)}};
    case ChannelKind::Ntfy:
        return {{QStringLiteral("url"), text(TextNtfyUrl)},
                {QStringLiteral("topic"), text(TextNtfyTopic)},
                {QStringLiteral("priority"), SpinNtfyPriority->value()}};
    case ChannelKind::Command: {
        // Arguments are kept as typed, blanks included; empty lines are none.
        QJsonArray args;
        static const QRegularExpression lineBreak(QStringLiteral("\\r\\n|\\r|\\n"));
        for (const QString& line :
             TextArguments->toPlainText().split(lineBreak, Qt::SkipEmptyParts))
            args.append(line);
        return {{QStringLiteral("program"), text(TextProgram)}, {QStringLiteral("args"), args}};
    }
    }
    return {};
}

QString ChannelFieldPages::typedSecret(ChannelKind kind) const {
    const QLineEdit* field = secretField(kind);
    return field ? field->text() : QString();
}

QLineEdit* ChannelFieldPages::secretField(ChannelKind kind) const {
    switch (kind) {
    case ChannelKind::Email:
        return TextSmtpPassword;
    case ChannelKind::DingTalk:
        return TextDingTalkSecret;
    case ChannelKind::Feishu:
        return TextFeishuSecret;
    case ChannelKind::Telegram:
        return TextTelegramToken;
    case ChannelKind::Ntfy:
        return TextNtfyToken;
    case ChannelKind::Webhook:
    case ChannelKind::WeCom:
    case ChannelKind::Command:
        break;
    }
    return nullptr;
}
