#include "../catalogue/CatalogueTestSupport.h"
#include "notify/ChannelCatalogue.h"
#include "notify/ChannelDelivery.h"
#include "notify/ui/ChannelFieldPages.h"
#include "notify/ui/FormChannelEdit.h"
#include "notify/ui/FormChannels.h"
#include "platform/SystemClock.h"
#include "platform/gui/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

// Sets each "objectName=value" field of the form in order: a line or text
// box takes the text, a combo box the entry with that key, a spin box the
// number, a check box "1" or "0".
void setFields(QWidget& form, const QStringList& fields) {
    for (const QString& field : fields) {
        const QString name = field.section(QLatin1Char('='), 0, 0);
        const QString value = field.section(QLatin1Char('='), 1);
        auto* widget = form.findChild<QWidget*>(name);
        QVERIFY2(widget, qPrintable(name));
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            line->setText(value);
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
            text->setPlainText(value);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            QVERIFY2(combo->findData(value) >= 0, qPrintable(field));
            combo->setCurrentIndex(combo->findData(value));
        } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
            spin->setValue(value.toInt());
        } else {
            auto* box = qobject_cast<QCheckBox*>(widget);
            QVERIFY2(box, qPrintable(name));
            box->setChecked(value == QLatin1String("1"));
        }
    }
}

// Runs act; the channel dialog it opens is handed to inside and closed if
// it is still open. Returns whether one opened.
bool inEditDialog(const std::function<void()>& act,
                  const std::function<void(FormChannelEdit&)>& inside) {
    bool opened = false;
    QTimer::singleShot(0, qApp, [&] {
        if (auto* dialog = qobject_cast<FormChannelEdit*>(QApplication::activeModalWidget())) {
            opened = true;
            inside(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    act();
    return opened;
}

Channel stored(ChannelKind kind, const QString& name, const QJsonObject& settings,
               const QString& secret = {}) {
    Channel channel;
    channel.kind = kind;
    channel.name = name;
    channel.settings = settings;
    channel.secret = secret;
    [&] { QCOMPARE(ChannelCatalogue::AddChannel(channel, &channel.id), QString()); }();
    return channel;
}

Channel dingTalk() {
    return stored(ChannelKind::DingTalk, QStringLiteral("钉钉群"),
                  {{"url", "http://127.0.0.1:9/robot/send?access_token=t"}},
                  QStringLiteral("SEC-stored"));
}

QStringList rowTexts(const QTreeWidget& list, int row) {
    QStringList texts;
    const QTreeWidgetItem* item = list.topLevelItem(row);
    for (int column = 0; item && column < item->columnCount(); ++column)
        texts << item->text(column);
    return texts;
}

} // namespace

class TestFormChannels final : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBoxes::setTestMode(true); }
    void cleanup() {
        MessageBoxes::takeShown();
        MessageBoxes::setTestMode(false);
    }

    // A channel of each kind added through the dialog is stored with its
    // kind's settings and secret, and listed when the list is opened again.
    void addEachKind_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("recovery");
        QTest::addColumn<int>("stormLimit");
        QTest::newRow("webhook") << QStringList{"TextName= Hook ",
                                                "ComboKind=webhook",
                                                "TextWebhookUrl= http://127.0.0.1:8080/hook ",
                                                "ComboMethod=PUT",
                                                "TextHeaders=X-Token: abc",
                                                "TextTemplate={\"text\":\"{title}\"}"}
                                 << QJsonObject{{"url", "http://127.0.0.1:8080/hook"},
                                                {"method", "PUT"},
                                                {"headers", "X-Token: abc"},
                                                {"template", "{\"text\":\"{title}\"}"}}
                                 << "" << true << 10;
        QTest::newRow("email")
            << QStringList{"TextName=Mail",
                           "ComboKind=email",
                           "TextSmtpHost=127.0.0.1",
                           "ComboSecurity=tls",
                           "TextSmtpUser=ops",
                           "TextSmtpPassword=pw! x",
                           "TextMailFrom=ops@example.com",
                           "TextMailTo=a@example.com; b@example.com\n"
                           "c@example.com,"}
            << QJsonObject{{"host", "127.0.0.1"},
                           {"port", 465},
                           {"security", "tls"},
                           {"user", "ops"},
                           {"from", "ops@example.com"},
                           {"to", QJsonArray{"a@example.com", "b@example.com", "c@example.com"}}}
            << "pw! x" << true << 10;
        QTest::newRow("dingtalk") << QStringList{"TextName=钉钉群", "ComboKind=dingtalk",
                                                 "TextDingTalkUrl=http://127.0.0.1/robot/"
                                                 "send?access_token=t",
                                                 "TextDingTalkSecret=SECabc"}
                                  << QJsonObject{{"url",
                                                  "http://127.0.0.1/robot/send?access_token=t"}}
                                  << "SECabc" << true << 10;
        QTest::newRow("feishu") << QStringList{"TextName=飞书群", "ComboKind=feishu",
                                               "TextFeishuUrl=http://127.0.0.1/open-apis/bot/v2/"
                                               "hook/x",
                                               "TextFeishuSecret=fs"}
                                << QJsonObject{{"url", "http://127.0.0.1/open-apis/bot/v2/hook/x"}}
                                << "fs" << true << 10;
        QTest::newRow("wecom") << QStringList{"TextName=企业微信", "ComboKind=wecom",
                                              "TextWeComUrl=http://127.0.0.1/cgi-bin/webhook/"
                                              "send?key=k",
                                              "ComboWeComFormat=markdown"}
                               << QJsonObject{{"url",
                                               "http://127.0.0.1/cgi-bin/webhook/send?key=k"},
                                              {"format", "markdown"}}
                               << "" << true << 10;
        QTest::newRow("telegram") << QStringList{"TextName=TG", "ComboKind=telegram",
                                                 "TextTelegramApi=http://127.0.0.1:8081",
                                                 "TextTelegramToken=123:ABC",
                                                 "TextTelegramChat=-100123"}
                                  << QJsonObject{{"api", "http://127.0.0.1:8081"},
                                                 {"chat", "-100123"}}
                                  << "123:ABC" << true << 10;
        QTest::newRow("ntfy") << QStringList{"TextName=ntfy",
                                             "ComboKind=ntfy",
                                             "TextNtfyUrl=http://127.0.0.1:8082",
                                             "TextNtfyTopic=alerts",
                                             "TextNtfyToken=tk_1",
                                             "SpinNtfyPriority=5",
                                             "SpinStormLimit=50"}
                              << QJsonObject{{"url", "http://127.0.0.1:8082"},
                                             {"topic", "alerts"},
                                             {"priority", 5}}
                              << "tk_1" << true << 50;
        QTest::newRow("command")
            << QStringList{"TextName=脚本",         "ComboKind=command",
                           "TextProgram=/bin/true", "TextArguments=--flag\nwith space\n\n",
                           "CheckRecovery=0",       "SpinStormLimit=0"}
            << QJsonObject{{"program", "/bin/true"}, {"args", QJsonArray{"--flag", "with space"}}}
            << "" << false << 0;
    }
    void addEachKind() {
        QFETCH(QStringList, fields);
        QFETCH(QJsonObject, settings);
        QFETCH(QString, secret);
        QFETCH(bool, recovery);
        QFETCH(int, stormLimit);
        TemporaryCatalogue catalogue;
        FormChannels list(nullptr);
        QCOMPARE(list.windowTitle(), QStringLiteral("通知渠道"));
        QCOMPARE(list.LstChannels->topLevelItemCount(), 0);
        const bool opened =
            inEditDialog([&] { list.CmdAdd->click(); },
                         [&](FormChannelEdit& form) {
                             QCOMPARE(form.windowTitle(), QStringLiteral("添加通知渠道"));
                             setFields(form, fields);
                             form.CmdSave->click();
                             QCOMPARE(MessageBoxes::takeShown().size(), 0);
                             QCOMPARE(form.result(), int(QDialog::Accepted));
                         });
        QVERIFY(opened);

        const QList<Channel> channels = ChannelCatalogue::SelectChannels();
        QCOMPARE(channels.size(), 1);
        const Channel& channel = channels.first();
        QCOMPARE(ChannelKinds::key(channel.kind), fields.at(1).section('=', 1));
        QCOMPARE(channel.name, fields.at(0).section('=', 1).trimmed());
        QCOMPARE(channel.settings, settings);
        QCOMPARE(channel.secret, secret);
        QVERIFY(channel.enabled);
        QCOMPARE(channel.sendRecovery, recovery);
        QCOMPARE(channel.stormLimit, stormLimit);

        const QStringList row = {channel.name, ChannelKinds::text(channel.kind), "是",
                                 recovery ? "是" : "否"};
        QCOMPARE(rowTexts(*list.LstChannels, 0), row);
        FormChannels reopened(nullptr);
        QCOMPARE(reopened.LstChannels->topLevelItemCount(), 1);
        QCOMPARE(rowTexts(*reopened.LstChannels, 0), row);
    }

    // A new channel starts enabled, sending recoveries, merging above ten a
    // minute; secrets are typed unseen.
    void newChannelDefaults() {
        TemporaryCatalogue catalogue;
        FormChannelEdit form(Channel{});
        QVERIFY(form.CheckEnabled->isChecked());
        QVERIFY(form.CheckRecovery->isChecked());
        QCOMPARE(form.SpinStormLimit->value(), 10);
        QCOMPARE(form.Pages->SpinNtfyPriority->value(), 3);
        QCOMPARE(form.Pages->TextTelegramApi->text(), QStringLiteral("https://api.telegram.org"));
        for (QLineEdit* secret : {form.Pages->TextSmtpPassword, form.Pages->TextDingTalkSecret,
                                  form.Pages->TextFeishuSecret, form.Pages->TextTelegramToken,
                                  form.Pages->TextNtfyToken})
            QCOMPARE(secret->echoMode(), QLineEdit::Password);
        // Each kind shows its own page.
        for (int at = 0; at < form.ComboKind->count(); ++at) {
            form.ComboKind->setCurrentIndex(at);
            QCOMPARE(form.Pages->currentIndex(), at);
        }
    }

    // The stored secret is never shown; an empty field keeps it while the
    // kind stays, and another kind never inherits it.
    void editKeepsTheSecret_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("secret");
        QTest::newRow("left empty") << QStringList{} << "SEC-stored";
        QTest::newRow("typed anew") << QStringList{"TextDingTalkSecret=SEC-new"} << "SEC-new";
        QTest::newRow("other kind, left empty")
            << QStringList{"ComboKind=feishu", "TextFeishuUrl=http://127.0.0.1/hook"} << "";
        QTest::newRow("other kind, typed")
            << QStringList{"ComboKind=feishu", "TextFeishuUrl=http://127.0.0.1/hook",
                           "TextFeishuSecret=fs"}
            << "fs";
    }
    void editKeepsTheSecret() {
        QFETCH(QStringList, fields);
        QFETCH(QString, secret);
        TemporaryCatalogue catalogue;
        dingTalk();
        FormChannels list(nullptr);
        const bool opened = inEditDialog(
            [&] { list.CmdEdit->click(); },
            [&](FormChannelEdit& form) {
                QCOMPARE(form.windowTitle(), QStringLiteral("编辑通知渠道"));
                QCOMPARE(form.TextName->text(), QStringLiteral("钉钉群"));
                QCOMPARE(form.Pages->TextDingTalkUrl->text(),
                         QStringLiteral("http://127.0.0.1:9/robot/send?access_token=t"));
                QCOMPARE(form.Pages->TextDingTalkSecret->text(), QString());
                QCOMPARE(form.Pages->TextDingTalkSecret->placeholderText(),
                         QStringLiteral("已保存,留空则保持不变"));
                QCOMPARE(form.Pages->TextFeishuSecret->placeholderText(), QStringLiteral("可选"));
                setFields(form, fields);
                form.CmdSave->click();
                QCOMPARE(form.result(), int(QDialog::Accepted));
            });
        QVERIFY(opened);
        const QList<Channel> channels = ChannelCatalogue::SelectChannels();
        QCOMPARE(channels.size(), 1);
        QCOMPARE(channels.first().secret, secret);
    }

    // Bad input is refused at save with its reason; the dialog stays open
    // with everything as typed and nothing is stored.
    void refusedAtSave_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        const QStringList webhook = {"TextName=Hook", "ComboKind=webhook",
                                     "TextWebhookUrl=http://127.0.0.1/hook"};
        const QStringList email = {"TextName=Mail", "ComboKind=email", "TextSmtpHost=127.0.0.1",
                                   "TextMailFrom=ops@example.com", "TextMailTo=a@example.com"};
        QTest::newRow("URL without scheme")
            << webhook + QStringList{"TextWebhookUrl=127.0.0.1/hook"}
            << "URL必须以 http:// 或 https:// 开头！";
        QTest::newRow("URL without host")
            << webhook + QStringList{"TextWebhookUrl=https:///hook"} << "URL缺少主机名！";
        QTest::newRow("template not JSON after substitution")
            << webhook + QStringList{"TextTemplate={\"text\": {message}}"}
            << "消息模板替换后不是有效的JSON:";
        QTest::newRow("recipient without @")
            << email + QStringList{"TextMailTo=a@example.com, ops.example.com"}
            << "收件人地址“ops.example.com”必须包含“@”！";
        QTest::newRow("port above 65535")
            << email + QStringList{"TextSmtpPort=70000"} << "SMTP端口必须是1到65535之间的整数！";
        QTest::newRow("port not a number")
            << email + QStringList{"TextSmtpPort=smtp"} << "SMTP端口必须是1到65535之间的整数！";
        QTest::newRow("no name") << QStringList{"ComboKind=command", "TextProgram=/bin/true"}
                                 << "通知渠道名称不能为空！";
    }
    void refusedAtSave() {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        TemporaryCatalogue catalogue;
        FormChannelEdit form(Channel{});
        form.show();
        setFields(form, fields);
        const QString typed = fields.last().section('=', 1);
        form.CmdSave->click();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().text.startsWith(message), qPrintable(shown.first().text));
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        const QString name = fields.last().section('=', 0, 0);
        if (auto* line = form.findChild<QLineEdit*>(name))
            QCOMPARE(line->text(), typed);
        else
            QCOMPARE(form.findChild<QPlainTextEdit*>(name)->toPlainText(), typed);
        QVERIFY(ChannelCatalogue::SelectChannels().isEmpty());
    }

    // A name another channel has is refused; the channel keeps its own.
    void namesStayUnique() {
        TemporaryCatalogue catalogue;
        const Channel first = dingTalk();
        stored(ChannelKind::Command, "脚本", {{"program", "/bin/true"}});
        FormChannelEdit copy(Channel{});
        setFields(copy, {"TextName=钉钉群", "ComboKind=command", "TextProgram=/bin/true"});
        copy.CmdSave->click();
        QCOMPARE(MessageBoxes::takeShown().value(0).text,
                 QStringLiteral("已有名为“钉钉群”的通知渠道,请换一个名称！"));
        FormChannelEdit same(first);
        same.CmdSave->click();
        QCOMPARE(same.result(), int(QDialog::Accepted));
        QCOMPARE(ChannelCatalogue::SelectChannels().size(), 2);
    }

    // Delete asks first; only 确定 removes the channel.
    void deleteAsksAndRemoves() {
        TemporaryCatalogue catalogue;
        dingTalk();
        stored(ChannelKind::Command, "脚本", {{"program", "/bin/true"}});
        FormChannels list(nullptr);
        QSignalSpy changed(&list, &FormChannels::channelsChanged);
        list.LstChannels->setCurrentItem(list.LstChannels->topLevelItem(1));
        MessageBoxes::queueAnswer(QMessageBox::Cancel);
        list.CmdDel->click();
        const QList<MessageBoxes::Shown> asked = MessageBoxes::takeShown();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().icon, QMessageBox::Question);
        QVERIFY(asked.first().text.contains(QStringLiteral("“脚本”")));
        QCOMPARE(ChannelCatalogue::SelectChannels().size(), 2);
        QCOMPARE(changed.size(), 0);

        MessageBoxes::queueAnswer(QMessageBox::Ok);
        list.CmdDel->click();
        QCOMPARE(MessageBoxes::takeShown().size(), 1);
        const QList<Channel> left = ChannelCatalogue::SelectChannels();
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.first().name, QStringLiteral("钉钉群"));
        QCOMPARE(list.LstChannels->topLevelItemCount(), 1);
        QCOMPARE(changed.size(), 1);
    }

    // The enable button turns the selected channel off and on again, and
    // says what it will do next.
    void enableToggles() {
        TemporaryCatalogue catalogue;
        dingTalk();
        FormChannels list(nullptr);
        QCOMPARE(list.CmdEnable->text(), QStringLiteral("停用(&U)"));
        list.CmdEnable->click();
        QVERIFY(!ChannelCatalogue::SelectChannels().value(0).enabled);
        QCOMPARE(list.LstChannels->topLevelItem(0)->text(FormChannels::EnabledColumn),
                 QStringLiteral("否"));
        QCOMPARE(list.CmdEnable->text(), QStringLiteral("启用(&U)"));
        list.CmdEnable->click();
        const Channel channel = ChannelCatalogue::SelectChannels().value(0);
        QVERIFY(channel.enabled);
        QCOMPARE(channel.secret, QStringLiteral("SEC-stored"));
        QCOMPARE(list.LstChannels->topLevelItem(0)->text(FormChannels::EnabledColumn),
                 QStringLiteral("是"));
    }

    // A write that fails is reported as the other dialogs report it, and
    // the report never shows the secret.
    void aFailedWriteNeverShowsTheSecret() {
        TemporaryCatalogue catalogue;
        dingTalk();
        FormChannels list(nullptr);
        ModuleDB::DbClose();
        list.CmdEnable->click();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("对不起,更改状态失败"));
        QVERIFY(shown.first().text.contains(QStringLiteral("钉钉群")));
        QVERIFY(!shown.first().text.contains(QStringLiteral("SEC-stored")));
    }

    // 发送测试 sends a test message through the selected channel with the
    // real delivery; the button stays off until the outcome arrives, which
    // the window then shows.
    void sendTestShowsTheOutcome_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("shown");
        QTest::newRow("accepted") << "/bin/true"
                                  << "“运维脚本”已接受测试消息。";
        QTest::newRow("refused") << "/bin/false"
                                 << "“运维脚本”发送失败:命令退出码1";
    }
    void sendTestShowsTheOutcome() {
        QFETCH(QString, program);
        QFETCH(QString, shown);
        TemporaryCatalogue catalogue;
        stored(ChannelKind::Command, QStringLiteral("运维脚本"), {{"program", program}});
        SystemClock clock;
        ChannelDelivery delivery(clock);
        FormChannels list(&delivery);
        QVERIFY(list.CmdTest->isEnabled());
        list.CmdTest->click();
        QVERIFY(!list.CmdTest->isEnabled());
        QCOMPARE(list.lbTestResult->text(), QStringLiteral("正在向“运维脚本”发送测试消息..."));
        list.CmdTest->click(); // off: no second send
        QCOMPARE(delivery.running(), 1);
        QTRY_COMPARE(list.lbTestResult->text(), shown);
        QVERIFY(list.CmdTest->isEnabled());
    }

    // Without a sender there is no test; an outcome arriving after the
    // window closed touches nothing.
    void sendTestWithoutSenderOrWindow() {
        TemporaryCatalogue catalogue;
        stored(ChannelKind::Command, QStringLiteral("慢脚本"),
               {{"program", "/bin/sleep"}, {"args", QJsonArray{"0.2"}}});
        {
            FormChannels list(nullptr);
            QVERIFY(!list.CmdTest->isEnabled());
        }
        SystemClock clock;
        ChannelDelivery delivery(clock);
        {
            FormChannels list(&delivery);
            list.CmdTest->click();
        }
        QCOMPARE(delivery.running(), 1);
        QTRY_COMPARE(delivery.running(), 0);
    }
};

QTEST_MAIN(TestFormChannels)
#include "tst_formchannels.moc"
