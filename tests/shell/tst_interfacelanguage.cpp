#include "FakeClock.h"
#include "FakeDesktopNotifications.h"
#include "FakeEcho.h"
#include "FakeProcessStarter.h"
#include "FakeSkinEngine.h"
#include "FakeSoundPlayer.h"
#include "FakeSysInfoLocator.h"
#include "FakeTrayIcon.h"
#include "RecordingUrlOpener.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ui/FormFind.h"
#include "catalogue/ui/FormInfo.h"
#include "catalogue/ui/FormServer.h"
#include "catalogue/ui/FormServerEdit.h"
#include "config/IniFile.h"
#include "config/InterfaceLanguage.h"
#include "config/InterfaceTranslations.h"
#include "config/ModuleINI.h"
#include "config/ui/FormSetup.h"
#include "history/ui/FormHistory.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerAlerts.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SharedTranslations.h"
#include "monitor/SocketElement.h"
#include "notify/ui/FormChannelEdit.h"
#include "notify/ui/FormChannels.h"
#include "platform/AppPaths.h"
#include "platform/gui/MessageBoxes.h"
#include "shell/AppServices.h"
#include "shell/FormAD.h"
#include "shell/FormMain.h"
#include "shell/frmAbout.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

#include <functional>
#include <memory>

namespace {

using Choice = InterfaceLanguage::Choice;
using Factory = std::function<std::shared_ptr<QWidget>()>;

QString programFile() {
    return qEnvironmentVariable("SERVERMON_BINARY");
}

void removeTranslators() {
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

// Every text a window shows: caption, controls, menus, list headers, tips.
QStringList shownTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        texts << widget->toolTip();
        if (auto* line = qobject_cast<QLineEdit*>(widget))
            texts << line->placeholderText();
        else if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
            texts << text->placeholderText();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            texts << group->title();
        else if (auto* tabs = qobject_cast<QTabWidget*>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i);
        else if (auto* combo = qobject_cast<QComboBox*>(widget))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        else if (auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model())
            for (int i = 0; i < view->model()->columnCount(); ++i)
                texts << view->model()->headerData(i, Qt::Horizontal).toString();
    }
    for (QAction* action : window.findChildren<QAction*>())
        texts << action->text();
    texts.removeAll(QString());
    return texts;
}

bool hasChinese(const QString& text) {
    static const QRegularExpression chinese(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}"
                                                           "\\x{ff00}-\\x{ffef}]"));
    return chinese.match(text).hasMatch();
}

// Fake platform services and a main window after its start-up.
struct Shell {
    FakeClock clock;
    FakeEcho echo;
    FakeTrayIcon tray;
    FakeSoundPlayer sound;
    RecordingUrlOpener urls;
    FakeProcessStarter processes;
    FakeSkinEngine skins;
    FakeSysInfoLocator sysInfo;
    FakeDesktopNotifications notifications;
    AppServices services{clock, echo, tray, sound, urls, processes, skins, sysInfo, notifications};
    std::unique_ptr<FormMain> window{new FormMain(services)};

    Shell() { window->Form_Load(); }
};

} // namespace

Q_DECLARE_METATYPE(Factory)

class TestInterfaceLanguage final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString settingsPath() const { return ModuleINI::IniFilePath(ModuleINI::IniBaseName()); }

    void useEnglish() {
        QVERIFY(
            InterfaceTranslations::install(*qApp, true, QFileInfo(programFile()).absolutePath()));
    }

private slots:
    void initTestCase() {
        AppPaths::setCurrent(AppPaths::portableIn(m_dir.path()));
        MessageBoxes::setTestMode(true);
    }

    void cleanup() {
        removeTranslators();
        MessageBoxes::takeShown();
        QFile::remove(settingsPath());
    }

    // The texts every row shows are one shared copy in the language of the
    // moment: another language gives the rows its own text from then on.
    void sharedRowTextsFollowTheLanguage() {
        const char* source = QT_TRANSLATE_NOOP("TcpProbe", "已收到正确的回应包");
        const QString chinese = SharedTranslations::text("TcpProbe", source);
        QCOMPARE(chinese, QString::fromUtf8(source));
        QCOMPARE(SharedTranslations::text("TcpProbe", source).constData(), chinese.constData());
        useEnglish();
        const QString english = SharedTranslations::text("TcpProbe", source);
        QVERIFY(english != chinese);
        QCOMPARE(english, QCoreApplication::translate("TcpProbe", source));
        removeTranslators();
        QCOMPARE(SharedTranslations::text("TcpProbe", source), chinese);
    }

    void choiceFollowsSettingAndLocale_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("english");
        QTest::newRow("no entry") << ""
                                  << "en_US" << false;
        QTest::newRow("zh") << "zh"
                            << "en_US" << false;
        QTest::newRow("unknown") << "fr"
                                 << "en_US" << false;
        QTest::newRow("en") << "en"
                            << "zh_CN" << true;
        QTest::newRow("EN blanks") << " EN "
                                   << "C" << true;
        QTest::newRow("system en_GB") << "system"
                                      << "en_GB" << true;
        QTest::newRow("system zh_CN") << "system"
                                      << "zh_CN" << false;
        QTest::newRow("system C") << "system"
                                  << "C" << false;
        QTest::newRow("system de_DE") << "system"
                                      << "de_DE" << false;
    }

    void choiceFollowsSettingAndLocale() {
        QFETCH(QString, setting);
        QFETCH(QString, locale);
        QFETCH(bool, english);
        QCOMPARE(
            InterfaceLanguage::english(InterfaceLanguage::fromSetting(setting), QLocale(locale)),
            english);
    }

    // The real program, started with a settings file and LANG, speaks the
    // language chosen: its catalogue export reports in it.
    void programStartsInTheChosenLanguage_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("report");
        const QString chinese = QStringLiteral("已导出 0 个服务器");
        const QString english = QStringLiteral("Servers exported: 0");
        QTest::newRow("default zh_CN") << QByteArray() << "zh_CN.UTF-8" << chinese;
        QTest::newRow("default en_US") << QByteArray() << "en_US.UTF-8" << chinese;
        QTest::newRow("system zh_CN")
            << QByteArray("[SETUP]\nLANGUAGE=system\n") << "zh_CN.UTF-8" << chinese;
        QTest::newRow("system C") << QByteArray("[SETUP]\nLANGUAGE=system\n") << "C" << chinese;
        QTest::newRow("system en_US")
            << QByteArray("[SETUP]\nLANGUAGE=system\n") << "en_US.UTF-8" << english;
        QTest::newRow("en C") << QByteArray("[SETUP]\nLANGUAGE=en\n") << "C" << english;
    }

    void programStartsInTheChosenLanguage() {
        QFETCH(QByteArray, settings);
        QFETCH(QString, lang);
        QFETCH(QString, report);
        QTemporaryDir folder;
        if (!settings.isEmpty()) {
            QFile file(folder.filePath(QStringLiteral("RodOdazuConfig.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(settings);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LANG"), lang);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(programFile(), {QStringLiteral("--config-dir"), folder.path(),
                                      QStringLiteral("--export"), folder.filePath("out.csv")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), report);
    }

    // The choice is written with the other settings and shown again by the
    // next dialog, as at the next start; a file nobody set it in stays so.
    void choiceSurvivesRestart() {
        MonitorSettings settings;
        FakeSkinEngine skins;
        {
            FormSetup form(settings, skins);
            auto* combo = form.findChild<QComboBox*>(QStringLiteral("ComboLanguage"));
            QCOMPARE(combo->currentText(), QStringLiteral("中文"));
            form.findChild<QAbstractButton*>(QStringLiteral("CmdSave"))->click();
            QVERIFY(!IniFile(settingsPath()).value("SETUP", "LANGUAGE"));
            combo->setCurrentIndex(combo->findData(int(Choice::English)));
            form.findChild<QAbstractButton*>(QStringLiteral("CmdSave"))->click();
        }
        QCOMPARE(IniFile(settingsPath()).value("SETUP", "LANGUAGE"), QStringLiteral("en"));
        QCOMPARE(InterfaceLanguage::read(), Choice::English);
        FormSetup again(settings, skins);
        auto* combo = again.findChild<QComboBox*>(QStringLiteral("ComboLanguage"));
        QCOMPARE(combo->currentText(), QStringLiteral("English"));
        combo->setCurrentIndex(combo->findData(int(Choice::System)));
        QCOMPARE(combo->currentText(), QStringLiteral("跟随系统"));
        again.findChild<QAbstractButton*>(QStringLiteral("CmdSave"))->click();
        QCOMPARE(InterfaceLanguage::read(), Choice::System);
        QVERIFY(MessageBoxes::takeShown().isEmpty());
    }

    // In English every window shows no Chinese but the name of Chinese
    // itself, and a few of its texts are as an English reader expects them.
    void windowsAreEnglish_data() {
        QTest::addColumn<Factory>("make");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("main") << Factory([] {
            const auto shell = std::make_shared<Shell>();
            return std::shared_ptr<QWidget>(shell, shell->window.get());
        })
                              << QStringList{
                                     "Start",
                                     "&System",
                                     "Ser&vers",
                                     "&Find Servers...",
                                     "&Silence",
                                     "Silence for 1 Hour",
                                     "Status",
                                     "Database: connected",
                                     "Socket replies: 0/0",
                                     "Waiting to start",
                                     "Socket faults: 0",
                                     "Ping faults: 0",
                                     "Qinglan Server Monitor [Spruce Studio] [Version 1.0.28]"};
        QTest::newRow("settings") << Factory([] {
            static MonitorSettings settings;
            static FakeSkinEngine skins;
            return std::make_shared<FormSetup>(settings, skins);
        })
                                  << QStringList{"Settings",
                                                 "Save",
                                                 "Cancel",
                                                 "Language:",
                                                 "English",
                                                 "System language",
                                                 "Network check addresses:",
                                                 "Notify when a failing server recovers"};
        QTest::newRow("add") << Factory([] {
            return std::make_shared<FormServer>();
        }) << QStringList{"Add Server", "Template", "Test", "Expected reply:", "Warn after (ms):"};
        QTest::newRow("edit") << Factory([] {
            ServerRecord server;
            server.ipAddress = QStringLiteral("127.0.0.1");
            return std::make_shared<FormServerEdit>(server);
        }) << QStringList{"Edit Server [127.0.0.1]", "Delete", "Save", "Close"};
        QTest::newRow("details") << Factory([] {
            static FakeEcho echo;
            return std::make_shared<FormInfo>(echo);
        }) << QStringList{"Server Details", "Test Socket", "Test Ping", "History"};
        QTest::newRow("find") << Factory([] { return std::make_shared<FormFind>(); })
                              << QStringList{"Find Servers", "Keyword:", "Search"};
        QTest::newRow("about") << Factory([] {
            static FakeSysInfoLocator locator;
            static FakeProcessStarter starter;
            auto about = std::make_shared<frmAbout>(locator, starter);
            about->show(); // the caption and version are set as it opens
            return about;
        })
                               << QStringList{"About Qinglan Server Monitor", "OK",
                                              "&System Info...", "Version 1.0.28"};
        QTest::newRow("announcement") << Factory([] {
            return std::make_shared<FormAD>(QUrl(QStringLiteral("http://127.0.0.1:9/")));
        }) << QStringList{"Current version: 1.0.28"};
        QTest::newRow("channels") << Factory([] {
            ModuleDB::DbOpen();
            return std::make_shared<FormChannels>(nullptr);
        }) << QStringList{"Notification channels", "&Add", "Send test", "Close", "Recoveries"};
        QTest::newRow("channel editor")
            << Factory([] { return std::make_shared<FormChannelEdit>(Channel{}); })
            << QStringList{"Add notification channel", "Kind:", "E-mail",
                           "Signing secret:", "Digest above (messages/minute):"};
        QTest::newRow("history") << Factory([] {
            static FakeClock clock;
            return std::make_shared<FormHistory>(QStringLiteral("/nonexistent/History.db"), 1,
                                                 QStringLiteral("alpha"), false, clock);
        }) << QStringList{"History - alpha", "Time range:", "Export &CSV...",
                          "Close",           "Chart",       "1 hour"};
    }

    void windowsAreEnglish() {
        QFETCH(Factory, make);
        QFETCH(QStringList, expected);
        useEnglish();
        ModuleDB::setDbPath(m_dir.filePath(QStringLiteral("ServerList.db")));
        const std::shared_ptr<QWidget> window = make();
        const QStringList texts = shownTexts(*window);
        for (const QString& text : texts)
            QVERIFY2(!hasChinese(text) || text == QStringLiteral("中文"), qPrintable(text));
        for (const QString& text : expected)
            QVERIFY2(texts.contains(text), qPrintable(text + " not in " + texts.join('|')));
        ModuleDB::DbClose();
    }

    // Message boxes and texts made while running are English too; ReplyTime
    // texts keep clear of ":", which marks a pending probe's start stamp.
    void messagesAreEnglish() {
        useEnglish();
        FormServer form;
        form.findChild<QAbstractButton*>(QStringLiteral("CmdSave"))->click();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.at(0).text, QStringLiteral("The server name must not be empty."));
        QCOMPARE(SocketStateNames().at(7), QStringLiteral("connected"));
        QCOMPARE(ServerRowModel::headerCaption(ServerRowModel::ReplyTime), QStringLiteral("Reply"));
        QVERIFY(!QCoreApplication::translate("ServerMonitor", "超过").contains(':'));
        QCOMPARE(ServerAlerts::durationText(90061000), QStringLiteral("1 d 1 h 1 min 1 s"));
        // Qt's own texts stay in their native English.
        QMessageBox box(QMessageBox::Information, QString(), QString(), QMessageBox::Ok);
        QVERIFY(!hasChinese(box.button(QMessageBox::Ok)->text()));
    }

    // Data the program stores, sends or passes on is never translated.
    void dataTextsStayAsTheyAre_data() {
        QTest::addColumn<bool>("english");
        QTest::newRow("Chinese") << false;
        QTest::newRow("English") << true;
    }

    void dataTextsStayAsTheyAre() {
        QFETCH(bool, english);
        if (english)
            useEnglish();
        QCOMPARE(ModulePing::PingStatusText(0), QStringLiteral("ip success"));
        ModuleDB::setDbPath(m_dir.filePath(QStringLiteral("ServerList.db")));
        QVERIFY(ModuleDB::DbOpen());
        ServerRecord server;
        server.displayName = QStringLiteral("状态");
        server.ipAddress = QStringLiteral("127.0.0.1");
        server.port = QStringLiteral("80");
        server.postData = QStringLiteral("超过");
        server.inUse = true;
        QCOMPARE(ServerCatalogue::AddServer(server), QString());
        Shell shell;
        const ServerRowModel& rows = shell.window->rowModel();
        const int row = rows.rowCount() - 1;
        QCOMPARE(rows.text(row, ServerRowModel::DisplayName), server.displayName);
        QCOMPARE(rows.text(row, ServerRowModel::PostData), server.postData);
        ModuleDB::DbClose();
        QFile::remove(m_dir.filePath(QStringLiteral("ServerList.db")));
    }
};

QTEST_MAIN(TestInterfaceLanguage)
#include "tst_interfacelanguage.moc"
