#include "FakeClock.h"
#include "FakeDesktopNotifications.h"
#include "FakeEcho.h"
#include "FakeProcessStarter.h"
#include "FakeSkinEngine.h"
#include "FakeSoundPlayer.h"
#include "FakeSysInfoLocator.h"
#include "FakeTrayIcon.h"
#include "PgTestCluster.h"
#include "RecordingUrlOpener.h"

#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ui/DesignTexts.h"
#include "catalogue/ui/FormFind.h"
#include "catalogue/ui/MultiLineText.h"
#include "catalogue/ui/ServerEditor.h"
#include "config/IniFile.h"
#include "config/QtTranslations.h"
#include "config/ui/FormSetup.h"
#include "history/HistoryRecorder.h"
#include "monitor/ServerRowModel.h"
#include "notify/ui/FormChannels.h"
#include "platform/AppPaths.h"
#include "platform/gui/FileDialogs.h"
#include "platform/gui/MessageBoxes.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "shell/AppServices.h"
#include "shell/ElidingHeaderView.h"
#include "shell/FormAD.h"
#include "shell/FormLoading.h"
#include "shell/FormMain.h"
#include "shell/GuardedSequence.h"
#include "shell/frmAbout.h"
#include "tls/CertificateFacts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <QTreeView>
#include <functional>
#include <stdexcept>

namespace {
const QStringList StartUpSteps = {
    "SocketStateNames", "IniBaseName",    "DbPath",         "loadINI",    "DbOpen",
    "History",          "Caption",        "MeCaption",      "TrayAdd",    "sTips",
    "LoadServerList",   "SocketsStartup", "FirstCloseHint", "ReplyCount", "SkinList"};
const QString Caption = QStringLiteral("青岚服务器监控[云杉工作室][版本:1.0.28]");
const QString Tips = QStringLiteral("服务器监控系统\r\n版本:1.0.28\r\n[作者:Quillfern]");
const QString HintBalloon = QStringLiteral("你注意到没？|我并没有被关闭！而是被最小化到了这里\r\n"
                                           "如果要退出程序，请右键我！然后选择退出");

// A top-level window of the program outside the main window, as the X11 tray
// icon is: it counts the presses that reach it.
class OwnWindow final : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A program folder of its own, fake platform services, and the main window
// after its start-up.
struct Shell {
    QTemporaryDir programFolder;
    QTemporaryDir folder;
    FakeClock clock;
    FakeEcho echo;
    FakeTrayIcon tray;
    FakeSoundPlayer sound;
    RecordingUrlOpener urls;
    FakeProcessStarter processes;
    FakeSkinEngine skins;
    FakeSysInfoLocator sysInfo;
    FakeDesktopNotifications notifications;
    AppServices services;
    QStringList steps;
    QPointer<FormMain> window;

    // installed: an installed copy (a program folder without a sign of a
    // portable copy) that keeps its files in the folder.
    explicit Shell(bool installed = false)
        : services{clock, echo, tray, sound, urls, processes, skins, sysInfo, notifications} {
        AppPaths::setCurrent(installed
                                 ? AppPaths::decide(programFolder.path(), {false, folder.path()})
                                 : AppPaths::portableIn(folder.path()));
    }
    ~Shell() {
        delete window;
        AppPaths::setCurrent(AppPaths::portableIn(QCoreApplication::applicationDirPath()));
    }
    QString path(const QString& name) const { return folder.filePath(name); }
    void addSkinFiles(const QStringList& names) const {
        QDir(folder.path()).mkpath(QStringLiteral("Skin"));
        for (const QString& name : names) {
            QFile file(path(QStringLiteral("Skin/") + name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("QWidget {}");
        }
    }
    FormMain& start() {
        window = new FormMain(services);
        window->setStepObserver([this](const QString& step) { steps.append(step); });
        window->Form_Load();
        return *window;
    }
    FormMain& startShown() {
        FormMain& main = start();
        main.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&main)); }();
        return main;
    }
    // Two monitored servers and one that is not, in the program folder's catalogue.
    void addServers() const {
        ModuleDB::setDbPath(path(QStringLiteral("ServerList.db")));
        QVERIFY(ModuleDB::DbOpen());
        const QList<std::pair<const char*, bool>> servers = {
            {"alpha", true}, {"beta", false}, {"gamma", true}};
        for (const auto& [name, inUse] : servers) {
            ServerRecord server;
            server.displayName = QString::fromLatin1(name);
            server.ipAddress = QStringLiteral("127.0.0.1");
            server.port = QStringLiteral("80");
            server.inUse = inUse;
            QCOMPARE(ServerCatalogue::AddServer(server), QString());
        }
        ModuleDB::DbClose();
    }
    QString ini(const QString& section, const QString& key) const {
        return IniFile(path(QStringLiteral("RodOdazuConfig.ini")))
            .value(section, key)
            .value_or("<absent>");
    }
    QStringList rowNames() const {
        QStringList names;
        for (int row = 0; row < window->rowModel().rowCount(); ++row)
            names.append(window->rowModel().text(row, ServerRowModel::DisplayName));
        return names;
    }
    // Runs act; a modal dialog it opens is handed to inside, then closed.
    // Returns the dialog's class name, empty when none opened.
    QString dialogOpenedBy(const std::function<void()>& act,
                           const std::function<void(QDialog*)>& inside = {}) {
        QString opened;
        QTimer::singleShot(0, window, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened = QString::fromLatin1(dialog->metaObject()->className());
                if (inside)
                    inside(dialog);
                dialog->reject();
            }
        });
        act();
        QCoreApplication::processEvents();
        return opened;
    }
    void selectRow(int row) const {
        auto* list = window->findChild<QTreeView*>(QStringLiteral("LstResult"));
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
    }
    QStringList themeCaptions() const {
        QStringList captions;
        for (QAction* entry : window->findChild<QMenu*>(QStringLiteral("Menu_Theme"))->actions())
            captions.append(entry->text());
        return captions;
    }
};
// Each widget of the windows with the font and palette it draws with.
struct Look {
    QStringList widgets;
    QList<QFont> fonts;
    QList<QPalette> palettes;
};

Look lookOf(const QList<QWidget*>& windows) {
    QCoreApplication::processEvents();
    Look look;
    for (QWidget* window : windows) {
        QList<QWidget*> widgets{window};
        widgets += window->findChildren<QWidget*>();
        for (const QWidget* widget : widgets) {
            look.widgets.append(QString::fromLatin1(widget->metaObject()->className()) +
                                QLatin1Char(' ') + widget->objectName());
            look.fonts.append(widget->font());
            look.palettes.append(widget->palette());
        }
    }
    return look;
}

void compareLooks(const Look& actual, const Look& expected) {
    QCOMPARE(actual.widgets, expected.widgets);
    for (qsizetype i = 0; i < expected.widgets.size(); ++i) {
        const QByteArray widget = expected.widgets.at(i).toUtf8();
        QVERIFY2(actual.fonts.at(i) == expected.fonts.at(i), widget.constData());
        QVERIFY2(actual.palettes.at(i) == expected.palettes.at(i), widget.constData());
    }
}

// A plain connection to the shared test database: another copy of the
// program, as far as this one can tell.
const QString OtherCopy = QStringLiteral("another-copy");

bool otherCopyRuns(const QString& database, const QString& sql) {
    QSqlDatabase db = QSqlDatabase::contains(OtherCopy)
                          ? QSqlDatabase::database(OtherCopy)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), OtherCopy);
    if (!db.isOpen()) {
        db.setHostName(PgTestCluster::host());
        db.setPort(PgTestCluster::port());
        db.setUserName(PgTestCluster::userName());
        db.setDatabaseName(database);
        db.open();
    }
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        qWarning("%s", qPrintable(query.lastError().text()));
        return false;
    }
    return true;
}

void closeOtherCopy() {
    if (!QSqlDatabase::contains(OtherCopy))
        return;
    QSqlDatabase::database(OtherCopy).close();
    QSqlDatabase::removeDatabase(OtherCopy);
}

// The servers a read-only copy of the catalogue holds; -1 when unreadable.
int serversIn(const QString& file) {
    int servers = -1;
    {
        QSqlDatabase snapshot = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "snapshot");
        snapshot.setDatabaseName(file);
        snapshot.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(snapshot);
        if (snapshot.open() && query.exec(QStringLiteral("select count(*) from ServerList")) &&
            query.next())
            servers = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase("snapshot");
    return servers;
}

} // namespace

class TestFormMain final : public QObject {
    Q_OBJECT
    bool m_pgStopped = false;

private slots:
    void initTestCase() {
        MessageBoxes::setTestMode(true);
        FileDialogs::setTestMode(true);
    }

    void cleanup() {
        closeOtherCopy();
        if (m_pgStopped && PgTestCluster::startServer())
            m_pgStopped = false;
    }

    void aFailingStepDoesNotStopTheNext() {
        QStringList ran;
        GuardedSequence steps;
        steps.add("a", [&] { ran << "a"; })
            .add("b", [] { throw std::runtime_error("b"); })
            .add("c", [&] { ran << "c"; });
        QCOMPARE(steps.run(), QStringList{"b"});
        QCOMPARE(ran, (QStringList{"a", "c"}));
    }

    void startUpRunsInOrder() {
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        QCOMPARE(shell.steps, StartUpSteps);
        QCOMPARE(main.windowTitle(), Caption);
        QCOMPARE(shell.tray.calls.mid(0, 2), (QStringList{"add", "setTip"}));
        QCOMPARE(shell.tray.tip, Tips);
        QCOMPARE(shell.rowNames(), (QStringList{"alpha", "gamma"}));
        QCOMPARE(main.findChild<QLabel*>(QStringLiteral("Panel1"))->text(),
                 QStringLiteral("数据库：连接成功"));
        QCOMPARE(main.findChild<QLabel*>(QStringLiteral("Panel2"))->text(),
                 QStringLiteral("SOCKET回应:0/2"));
        QVERIFY(!main.isVisible());
        // First start: default size, and the settings dialog has put the skin into the file.
        QCOMPARE(main.size(), QSize(800, 600));
        QVERIFY(main.findChild<FormSetup*>());
        QCOMPARE(shell.ini("SETUP", "SKIN"), QStringLiteral("skinh.she"));
        QCOMPARE(shell.ini("SETTING", "MAINWIDTH"), QStringLiteral("<absent>"));
    }

    // Each control as "name=caption", separators as "name=-", in window order.
    void controlsInOrderWithCaptions_data() {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QStringList>("controls");
        QTest::newRow("menu bar") << "menu bar"
                                  << QStringList{"Menu_System=系统菜单",
                                                 "Menu_Right=服务器选项(&M)", "Menu_Theme=主题(&T)",
                                                 "Menu_Help=帮助(&H)", "Menu_Tips=作者:Quillfern"};
        QTest::newRow("system") << "Menu_System"
                                << QStringList{"Menu_Start=开始监控(&S)", "Menu_Setup=系统设置(&E)",
                                               "Menu_Channels=通知渠道(&C)...", "Line1=-",
                                               "Menu_Exit=退出系统"};
        QTest::newRow("server") << "Menu_Right"
                                << QStringList{"Menu_InfoServer=查看服务器(&I)",
                                               "Menu_History=历史记录(&H)...",
                                               "Menu_Silence=静默(&S)",
                                               "Menu_Maintenance=维护计划(&W)...",
                                               "line2=-",
                                               "Menu_AddServer=添加服务器(&A)",
                                               "Menu_EditServer=编辑服务器(&E)",
                                               "Line3=-",
                                               "Menu_Find=搜索服务器(&F)",
                                               "Menu_InUse=载入已监控(&I)",
                                               "Menu_NoUse=载入未监控(&N)",
                                               "Menu_All=载入所有项(&V)",
                                               "Line6=-",
                                               "Menu_ImportServers=导入服务器列表(&P)...",
                                               "Menu_ExportServers=导出服务器列表(&X)...",
                                               "Line5=-",
                                               "Menu_TelnetTest=Telnet命令测试",
                                               "Menu_PingTest=Ping 命令测试"};
        QTest::newRow("help") << "Menu_Help"
                              << QStringList{"Menu_HelpWeb=系统帮助", "Menu_Check=检查更新",
                                             "Menu_About=关于本软件"};
        QTest::newRow("buttons") << "buttons"
                                 << QStringList{"CmdLoad=监控列表",    "CmdListErr=异常服务器",
                                                "CmdFind=搜索服务器",  "CmdStart=开始监控",
                                                "CmdSetup=系统设置",   "CmdExit=退出系统",
                                                "CmdServer=添加服务器"};
        QTest::newRow("status bar")
            << "status bar"
            << QStringList{"Panel1=数据库：连接成功", "Panel2=SOCKET回应:0/0",
                           "Panel3=任务等待开始", "Panel4=SOCKET异常:0", "Panel5=Ping异常:0"};
    }
    void controlsInOrderWithCaptions() {
        QFETCH(QString, container);
        QFETCH(QStringList, controls);
        Shell shell;
        FormMain& main = shell.start();
        QStringList shown;
        const auto add = [&](const QObject* control, const QString& caption) {
            shown.append(control->objectName() + QLatin1Char('=') + caption);
        };
        if (container == QLatin1String("buttons")) {
            for (const QPushButton* button : main.centralWidget()->findChildren<QPushButton*>())
                add(button, button->text());
        } else if (container == QLatin1String("status bar")) {
            for (const QLabel* panel : main.statusBar()->findChildren<QLabel*>())
                if (!panel->isHidden())
                    add(panel, panel->text());
        } else {
            const QList<QAction*> actions = container == QLatin1String("menu bar")
                                                ? main.menuBar()->actions()
                                                : main.findChild<QMenu*>(container)->actions();
            for (const QAction* action : actions)
                add(action, action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        QCOMPARE(shown, controls);
        if (container == QLatin1String("menu bar"))
            QVERIFY(!main.menuBar()->actions().last()->isEnabled());
    }

    void aPassReportsInTheStatusBarAndTitle() {
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        auto* start = main.findChild<QPushButton*>(QStringLiteral("CmdStart"));
        main.findChild<QAction*>(QStringLiteral("Menu_Start"))->trigger();
        QCOMPARE(start->text(), QStringLiteral("停止监控"));
        auto* panel3 = main.findChild<QLabel*>(QStringLiteral("Panel3"));
        QTRY_VERIFY_WITH_TIMEOUT(panel3->text().startsWith(QStringLiteral("下次开始任务:")), 10000);
        QVERIFY(main.windowTitle().startsWith(Caption + QStringLiteral("[ ")));
        QCOMPARE(shell.echo.targets.size(), 2);
        start->click();
        QCOMPARE(start->text(), QStringLiteral("开始监控"));
        QCOMPARE(shell.tray.tip, Tips + QStringLiteral("\r\n等待开始任务..."));
        QCOMPARE(panel3->text(), QStringLiteral("任务等待开始"));
        QCOMPARE(main.windowTitle(), Caption + QStringLiteral("[等待开始任务]"));
    }

    void listCommandsLoadTheirServers_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("CmdLoad") << "CmdLoad" << QStringList{"alpha", "gamma"};
        QTest::newRow("Menu_InUse") << "Menu_InUse" << QStringList{"alpha", "gamma"};
        QTest::newRow("Menu_NoUse") << "Menu_NoUse" << QStringList{"beta"};
        QTest::newRow("Menu_All") << "Menu_All" << QStringList{"alpha", "beta", "gamma"};
        QTest::newRow("CmdListErr without flags") << "CmdListErr" << QStringList{};
    }
    void listCommandsLoadTheirServers() {
        QFETCH(QString, command);
        QFETCH(QStringList, names);
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        main.findChild<QAction*>(QStringLiteral("Menu_All"))->trigger();
        if (auto* button = main.findChild<QPushButton*>(command))
            button->click();
        else
            main.findChild<QAction*>(command)->trigger();
        QCOMPARE(shell.rowNames(), names);
    }

    void checkBoxWritesTheCatalogue_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("storedInUse");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("written") << true << false << QStringList{};
        QTest::newRow("failure reported") << false << true << QStringList{"对不起,更改状态失败"};
    }
    void checkBoxWritesTheCatalogue() {
        QFETCH(bool, connected);
        QFETCH(bool, storedInUse);
        QFETCH(QStringList, titles);
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        if (!connected)
            ModuleDB::DbClose();
        auto* list = main.findChild<QTreeView*>(QStringLiteral("LstResult"));
        QVERIFY(list->model()->setData(list->model()->index(0, ServerRowModel::ID), Qt::Unchecked,
                                       Qt::CheckStateRole));
        QStringList shown;
        for (const MessageBoxes::Shown& box : MessageBoxes::takeShown()) {
            shown.append(box.title);
            QCOMPARE(box.icon, QMessageBox::Critical);
        }
        QCOMPARE(shown, titles);
        QVERIFY(ModuleDB::DbOpen());
        const qint64 id = main.rowModel().text(0, ServerRowModel::ID).toLongLong();
        QCOMPARE(ServerCatalogue::SelectServer(id)->inUse, storedInUse);
    }

    // Silencing from the server menu is kept in the catalogue across a
    // reload; a silenced server's alert reaches neither the tray nor a
    // desktop notice, another's still does. A notice's choice silences too.
    void silencingFromTheServerMenu_data() {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("desktop notices") << false;
    }
    void silencingFromTheServerMenu() {
        QFETCH(bool, tray);
        Shell shell;
        shell.tray.available = tray;
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(closed.serverPort());
        closed.close();
        ModuleDB::setDbPath(shell.path(QStringLiteral("ServerList.db")));
        QVERIFY(ModuleDB::DbOpen());
        for (const QString address : {"127.0.0.1", "127.0.0.2"})
            QCOMPARE(ServerCatalogue::AddServer({0, address, address, port, {}, {}, {}, true}),
                     QString());
        ModuleDB::DbClose();
        QVERIFY(IniFile(shell.path("RodOdazuConfig.ini")).setValue("SETTING", "IREPLYLIM", "1"));
        FormMain& main = shell.start();
        shell.selectRow(0);
        main.findChild<QAction*>(QStringLiteral("Menu_SilenceRecovery"))->trigger();
        main.findChild<QAction*>(QStringLiteral("Menu_InUse"))->trigger();
        const ServerRowModel& rows = main.rowModel();
        QCOMPARE(rows.index(0, ServerRowModel::DisplayName).data().toString(),
                 QStringLiteral("【静默】127.0.0.1"));

        main.findChild<QAction*>(QStringLiteral("Menu_Start"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(rows.text(0, ServerRowModel::ReplyErr) == "1" &&
                                     rows.text(1, ServerRowModel::ReplyErr) == "1",
                                 10000);
        main.findChild<QAction*>(QStringLiteral("Menu_Start"))->trigger();
        const QString second = rows.text(1, ServerRowModel::ID);
        const QStringList shown = tray ? shell.tray.balloons : shell.notifications.notices;
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.at(0).startsWith((tray ? QString() : second + '|') +
                                        "注意:服务器测试返回异常|IP:127.0.0.2\r\n"),
                 qPrintable(shown.at(0)));
        QCOMPARE(shell.sound.played.size(), 1);
        if (!tray)
            QCOMPARE(shell.notifications.actionKeys,
                     QStringList{QStringLiteral("silence-hour,silence-recovery")});

        emit shell.notifications.actionInvoked(second, QStringLiteral("silence-hour"));
        QCOMPARE(ServerCatalogue::SelectServer(second.toLongLong())->silencedUntil,
                 shell.clock.utcMs() + 3600 * 1000);
        QVERIFY(
            rows.index(1, ServerRowModel::DisplayName).data().toString().startsWith("【静默】"));
    }

    void launchersUseTheSelectedRow_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QStringList>("arguments"); // empty: nothing started
        QTest::newRow("ping") << "Menu_PingTest" << true
                              << QStringList{"-e", "/usr/bin/ping", "127.0.0.1"};
        QTest::newRow("telnet") << "Menu_TelnetTest" << true
                                << QStringList{"-e", "/usr/bin/telnet", "127.0.0.1", "80"};
        QTest::newRow("ping without a selection") << "Menu_PingTest" << false << QStringList{};
        QTest::newRow("telnet without a selection") << "Menu_TelnetTest" << false << QStringList{};
    }
    void launchersUseTheSelectedRow() {
        QFETCH(QString, command);
        QFETCH(bool, selected);
        QFETCH(QStringList, arguments);
        Shell shell;
        shell.processes.installed = {"x-terminal-emulator", "ping", "telnet"};
        shell.addServers();
        FormMain& main = shell.start();
        if (selected)
            shell.selectRow(1);
        main.findChild<QAction*>(command)->trigger();
        if (arguments.isEmpty()) {
            QVERIFY(shell.processes.starts.isEmpty());
            return;
        }
        QCOMPARE(shell.processes.starts.size(), 1);
        QCOMPARE(shell.processes.starts.first().program,
                 QStringLiteral("/usr/bin/x-terminal-emulator"));
        QCOMPARE(shell.processes.starts.first().arguments, arguments);
    }

    // The history file sits beside the catalogue; one that cannot be opened
    // is reported once in the status bar, and monitoring is not touched.
    void historyBesideTheCatalogue_data() {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("writable") << false;
        QTest::newRow("a folder in its place") << true;
    }
    void historyBesideTheCatalogue() {
        QFETCH(bool, blocked);
        Shell shell;
        shell.addServers();
        if (blocked)
            QVERIFY(QDir(shell.folder.path()).mkdir(QStringLiteral("History.db")));
        FormMain& main = shell.start();
        QVERIFY(main.historyRecorder());
        QCOMPARE(main.historyRecorder()->path(), shell.path(QStringLiteral("History.db")));
        if (blocked) {
            QTRY_VERIFY(main.statusBar()->currentMessage().contains(QStringLiteral("历史记录")));
            QVERIFY(main.historyRecorder()->isDropped());
        } else {
            QTRY_VERIFY(QFileInfo(shell.path(QStringLiteral("History.db"))).isFile());
            QVERIFY(main.statusBar()->currentMessage().isEmpty());
        }
        QCOMPARE(main.rowModel().rowCount(), 2); // the list loads as ever
    }

    void catalogueDialogsOpenFromTheMainWindow_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("rows");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("dialog"); // empty: nothing opens
        QTest::addColumn<QString>("name");   // the details' server name
        QTest::newRow("details of the selected row")
            << "Menu_InfoServer" << true << true << "FormInfo"
            << "gamma";
        QTest::newRow("details without a selection: design texts")
            << "Menu_InfoServer" << true << false << "FormInfo"
            << "";
        QTest::newRow("details of an empty list") << "Menu_InfoServer" << false << false << ""
                                                  << "";
        QTest::newRow("double click") << "double click" << true << true << "FormInfo"
                                      << "gamma";
        QTest::newRow("history of the selected row")
            << "Menu_History" << true << true << "FormHistory"
            << "";
        QTest::newRow("history without a selection") << "Menu_History" << true << false << ""
                                                     << "";
        QTest::newRow("edit the selected row")
            << "Menu_EditServer" << true << true << "FormServerEdit"
            << "";
        QTest::newRow("edit without a selection") << "Menu_EditServer" << true << false << ""
                                                  << "";
        QTest::newRow("add from the menu") << "Menu_AddServer" << true << false << "FormServer"
                                           << "";
        QTest::newRow("add button") << "CmdServer" << true << false << "FormServer"
                                    << "";
        QTest::newRow("search from the menu") << "Menu_Find" << true << false << "FormFind"
                                              << "";
        QTest::newRow("maintenance plan") << "Menu_Maintenance" << true << true << "FormMaintenance"
                                          << "";
        QTest::newRow("maintenance plan of an empty list")
            << "Menu_Maintenance" << false << false << "FormMaintenance"
            << "";
        QTest::newRow("search button") << "CmdFind" << true << false << "FormFind"
                                       << "";
        QTest::newRow("notification channels from the system menu")
            << "Menu_Channels" << false << false << "FormChannels"
            << "";
    }
    void catalogueDialogsOpenFromTheMainWindow() {
        QFETCH(QString, command);
        QFETCH(bool, rows);
        QFETCH(bool, selected);
        QFETCH(QString, dialog);
        QFETCH(QString, name);
        Shell shell;
        if (rows)
            shell.addServers();
        FormMain& main = shell.start();
        QCOMPARE(main.rowModel().rowCount(), rows ? 2 : 0);
        if (selected)
            shell.selectRow(1);
        QStringList details;
        const QString opened = shell.dialogOpenedBy(
            [&] {
                auto* list = main.findChild<QTreeView*>(QStringLiteral("LstResult"));
                if (command == QLatin1String("double click"))
                    emit list->doubleClicked(list->model()->index(1, 1));
                else if (auto* button = main.findChild<QPushButton*>(command))
                    button->click();
                else
                    main.findChild<QAction*>(command)->trigger();
            },
            [&details](QDialog* shown) {
                for (const char* box : {"TextDisplayName", "TextPort", "TextPostData"}) {
                    if (auto* line = shown->findChild<QLineEdit*>(QLatin1String(box)))
                        details << line->text();
                    else if (auto* text = shown->findChild<MultiLineText*>(QLatin1String(box)))
                        details << text->text();
                }
            });
        QCOMPARE(opened, dialog);
        if (dialog == QLatin1String("FormInfo")) {
            const QStringList expected =
                name.isEmpty()
                    ? QStringList{"", DesignTexts::defaultPort(), DesignTexts::defaultRequest()}
                    : QStringList{name, "80", ""};
            QCOMPARE(details, expected);
        }
    }

    // The list shows a server's texts only; the dialogs opened on a row get
    // the rest (transport, TLS and HTTP settings, revision) from the
    // catalogue, so an edit saved as it opened keeps it all.
    void listDialogsCarryWhatTheListDoesNotShow_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("details") << "Menu_InfoServer";
        QTest::newRow("edit, saved unchanged") << "Menu_EditServer";
    }
    void listDialogsCarryWhatTheListDoesNotShow() {
        QFETCH(QString, command);
        Shell shell;
        shell.addServers();
        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(ModuleDB::DbExecute("update ServerList set Transport='starttls-imap', "
                                     "TlsName='mail.test', CertWarnDays=30, Url='http://x/', "
                                     "ParentID=1 where ID=3"),
                 QString());
        const ServerRecord before = *ServerCatalogue::SelectServer(3);
        ModuleDB::DbClose();
        FormMain& main = shell.start();
        shell.selectRow(1);
        // The details also show what the row's last handshake found.
        CertificateFacts facts;
        facts.subject = QStringLiteral("CN = mail.test");
        for (int row = 0; row < main.rowModel().rowCount(); ++row) {
            if (main.rowModel().text(row, ServerRowModel::ID) == QLatin1String("3"))
                main.rowModel().setTlsHandshake(row, facts, 1000);
        }
        QStringList shown;
        const QString opened = shell.dialogOpenedBy(
            [&] { main.findChild<QAction*>(command)->trigger(); },
            [&](QDialog* dialog) {
                if (auto* transport = dialog->findChild<QComboBox*>("ComboTransport"))
                    shown << transport->currentText();
                else
                    shown << dialog->findChild<QLineEdit*>("TextTransport")->text();
                shown << dialog->findChild<QLineEdit*>("TextTlsName")->text();
                if (auto* certificate = dialog->findChild<QPlainTextEdit*>("TextCertificate"))
                    shown << certificate->toPlainText().section(u'\n', 0, 0);
                if (auto* save = dialog->findChild<QPushButton*>("CmdSave"))
                    save->click();
            });
        QVERIFY(!opened.isEmpty());
        QStringList expectedShown{"STARTTLS (IMAP)", "mail.test"};
        if (command == QLatin1String("Menu_InfoServer"))
            expectedShown << QStringLiteral("证书主题:CN = mail.test");
        QCOMPARE(shown, expectedShown);
        ServerRecord expected = before;
        if (command == QLatin1String("Menu_EditServer")) {
            QCOMPARE(MessageBoxes::takeShown().value(0).title, QStringLiteral("恭喜,编辑成功"));
            expected.revision = before.revision + 1;
        }
        QCOMPARE(*ServerCatalogue::SelectServer(3), expected);
    }

    // An edit opened on a row whose server another copy changed since the
    // list was loaded is not saved over that change: the save is refused and
    // the list reloaded, so the edit opened again shows the change and
    // saves. A change made from this list (the row's check box) is none.
    void editOfAnOutdatedRowIsRefused_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("refused");
        QTest::newRow("renamed by another copy") << "other copy" << true;
        QTest::newRow("check box of this list") << "check box" << false;
    }
    void editOfAnOutdatedRowIsRefused() {
        QFETCH(QString, change);
        QFETCH(bool, refused);
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        const qint64 id = main.rowModel().text(0, ServerRowModel::ID).toLongLong();
        if (change == QLatin1String("other copy")) {
            {
                QSqlDatabase copy = QSqlDatabase::addDatabase("QSQLITE", "copy");
                copy.setDatabaseName(shell.path(QStringLiteral("ServerList.db")));
                QVERIFY(copy.open());
                QSqlQuery update(copy);
                QVERIFY(update.exec(QStringLiteral("update ServerList set DisplayName='alpha2',"
                                                   "Revision=Revision+1 where ID=%1")
                                        .arg(id)));
            }
            QSqlDatabase::removeDatabase("copy");
        } else {
            auto* list = main.findChild<QTreeView*>(QStringLiteral("LstResult"));
            QVERIFY(list->model()->setData(list->model()->index(0, ServerRowModel::ID),
                                           Qt::Unchecked, Qt::CheckStateRole));
        }
        const auto editPort = [&shell, &main](const QString& port) {
            shell.selectRow(0);
            QString name;
            shell.dialogOpenedBy(
                [&main] { main.findChild<QAction*>("Menu_EditServer")->trigger(); },
                [&name, &port](QDialog* dialog) {
                    name = dialog->findChild<QLineEdit*>("TextDisplayName")->text();
                    dialog->findChild<QLineEdit*>("TextPort")->setText(port);
                    dialog->findChild<QPushButton*>("CmdSave")->click();
                });
            return name;
        };
        QCOMPARE(editPort(QStringLiteral("81")), QStringLiteral("alpha"));
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        if (!refused) {
            QCOMPARE(shown.first().title, QStringLiteral("恭喜,编辑成功"));
            QCOMPARE(ServerCatalogue::SelectServer(id)->port, QStringLiteral("81"));
            QVERIFY(!ServerCatalogue::SelectServer(id)->inUse);
            return;
        }
        QCOMPARE(shown.first().title, QStringLiteral("对不起,保存失败"));
        QCOMPARE(shown.first().text, QStringLiteral("该服务器已被他人修改,请重新打开后再编辑"));
        QCOMPARE(ServerCatalogue::SelectServer(id)->port, QStringLiteral("80"));
        QCOMPARE(shell.rowNames(), (QStringList{"alpha2", "gamma"}));
        QCOMPARE(editPort(QStringLiteral("82")), QStringLiteral("alpha2"));
        QCOMPARE(MessageBoxes::takeShown().value(0).title, QStringLiteral("恭喜,编辑成功"));
        const ServerRecord saved = *ServerCatalogue::SelectServer(id);
        QCOMPARE(saved.displayName, QStringLiteral("alpha2"));
        QCOMPARE(saved.port, QStringLiteral("82"));
    }

    void dialogsReplaceTheList_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("a catalogue change reloads the monitored servers")
            << "CmdServer" << QStringList{"alpha", "gamma", "delta"};
        QTest::newRow("search results replace the list") << "CmdFind" << QStringList{"found"};
    }
    void dialogsReplaceTheList() {
        QFETCH(QString, command);
        QFETCH(QStringList, names);
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        main.findChild<QAction*>(QStringLiteral("Menu_All"))->trigger();
        ServerRecord server;
        server.displayName = QStringLiteral("delta");
        shell.dialogOpenedBy([&] { main.findChild<QPushButton*>(command)->click(); },
                             [&](QDialog* dialog) {
                                 if (auto* search = qobject_cast<FormFind*>(dialog)) {
                                     server.displayName = QStringLiteral("found");
                                     emit search->searchResultsReady({server});
                                 } else {
                                     QCOMPARE(ServerCatalogue::AddServer(server), QString());
                                     emit qobject_cast<ServerEditor*>(dialog)->catalogueChanged();
                                 }
                             });
        QCOMPARE(shell.rowNames(), names);
    }

    // An import adds to the catalogue, reloads the monitored servers behind
    // its report; an export writes what an import reads back.
    void importAndExportFromTheServerMenu_data() {
        QTest::addColumn<QByteArray>("file"); // empty: cancel the file dialog
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("servers"); // in the catalogue afterwards
        QTest::newRow("rows added and refused")
            << QByteArray("DisplayName,IPAddress,Port,InUse\r\ndelta,h,80,1\r\n"
                          "off,h,80,0\r\n,h,80,1\r\n")
            << QStringList{"alpha", "gamma", "delta"}
            << "导入服务器列表|已添加 2 个服务器,以下 1 行未导入:\r\n第 4 行:服务器名称不能为空！"
            << 5;
        QTest::newRow("unreadable")
            << QByteArray("DisplayName,IPAddress\r\ndelta,h\r\n") << QStringList{"beta"}
            << "对不起,导入失败|没有导入任何服务器:标题行缺少 Port 列" << 3;
        QTest::newRow("cancelled") << QByteArray() << QStringList{"beta"} << QString() << 3;
    }
    void importAndExportFromTheServerMenu() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, names);
        QFETCH(QString, box);
        QFETCH(int, servers);
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        main.findChild<QAction*>(QStringLiteral("Menu_NoUse"))->trigger();
        if (!file.isEmpty()) {
            QFile data(shell.path(QStringLiteral("in.csv")));
            QVERIFY(data.open(QIODevice::WriteOnly));
            data.write(file);
            FileDialogs::queuePath(data.fileName());
        }
        main.findChild<QAction*>(QStringLiteral("Menu_ImportServers"))->trigger();
        QCOMPARE(shell.rowNames(), names);
        QStringList shown;
        for (const MessageBoxes::Shown& entry : MessageBoxes::takeShown())
            shown.append(entry.title + QLatin1Char('|') + entry.text);
        QCOMPARE(shown, box.isEmpty() ? QStringList() : QStringList{box});

        FileDialogs::queuePath(shell.path(QStringLiteral("out.json")));
        main.findChild<QAction*>(QStringLiteral("Menu_ExportServers"))->trigger();
        QCOMPARE(MessageBoxes::takeShown().value(0).text,
                 QStringLiteral("已导出 %1 个服务器").arg(servers));
        QFile exported(shell.path(QStringLiteral("out.json")));
        QVERIFY(exported.open(QIODevice::ReadOnly));
        QCOMPARE(exported.readAll().count("\"DisplayName\""), servers);
    }

    // A catalogue that is connected but cannot be read is never shown as an
    // empty catalogue: a box says so, and the next reload that can read it
    // shows the servers again.
    void reloadThatCannotReadTheCatalogueSaysSo() {
        Shell shell;
        shell.addServers();
        FormMain& main = shell.start();
        QCOMPARE(shell.rowNames(), (QStringList{"alpha", "gamma"}));
        MessageBoxes::takeShown();
        const auto renameTable = [&shell](const char* from, const char* to) {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(shell.path(QStringLiteral("ServerList.db")));
            const bool renamed =
                other.open() &&
                QSqlQuery(other).exec(QStringLiteral("alter table %1 rename to %2").arg(from, to));
            other.close();
            other = {};
            QSqlDatabase::removeDatabase("other");
            return renamed;
        };
        QVERIFY(renameTable("ServerList", "Elsewhere"));
        main.findChild<QAction*>(QStringLiteral("Menu_All"))->trigger();
        QCOMPARE(shell.rowNames(), QStringList());
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Warning);
        QCOMPARE(shown.first().title, QStringLiteral("无法读取服务器列表"));
        QVERIFY(renameTable("Elsewhere", "ServerList"));
        main.findChild<QAction*>(QStringLiteral("Menu_All"))->trigger();
        QCOMPARE(shell.rowNames(), (QStringList{"alpha", "beta", "gamma"}));
        QCOMPARE(MessageBoxes::takeShown().size(), 0);
    }

    // A catalogue shared in PostgreSQL: another copy's changes show in the
    // list as they come, the selected row kept; while the database is away
    // the list stays, panel 1 says so with the reason in its tip, and an add
    // or an edit is refused with that report; it comes back by itself.
    void sharedCatalogueFollowsTheDatabase() {
        PG_TEST_CLUSTER_OR_SKIP();
        PgTestCluster::exportPassword();
        const QString database = QStringLiteral("servermon_formmain_test");
        const QString uri = PgTestCluster::createDatabase(database);
        QVERIFY(!uri.isEmpty());
        const auto fileAgain = qScopeGuard([] {
            ModuleDB::DbClose();
            ModuleDB::setDatabaseUri({});
        });
        Shell shell;
        ModuleDB::setDatabaseUri(uri);
        shell.addServers();
        QVERIFY(IniFile(shell.path("RodOdazuConfig.ini")).setValue("SETUP", "DATABASE", uri));
        FormMain& main = shell.start();
        auto* panel1 = main.findChild<QLabel*>(QStringLiteral("Panel1"));
        QCOMPARE(panel1->text(), QStringLiteral("数据库：连接成功"));
        QCOMPARE(shell.rowNames(), (QStringList{"alpha", "gamma"}));
        MessageBoxes::takeShown();

        auto* list = main.findChild<QTreeView*>(QStringLiteral("LstResult"));
        const auto selectedNames = [list] {
            QStringList names;
            for (const QModelIndex& index : list->selectionModel()->selectedRows())
                names << list->model()
                             ->index(index.row(), ServerRowModel::DisplayName)
                             .data()
                             .toString();
            return names;
        };
        shell.selectRow(1);
        QCOMPARE(selectedNames(), QStringList{"gamma"});
        QSignalSpy resets(&main.rowModel(), &QAbstractItemModel::modelReset);
        QVERIFY(otherCopyRuns(database, "update ServerList set DisplayName = 'gamma2', "
                                        "Revision = Revision + 1 where DisplayName = 'gamma'"));
        QVERIFY(otherCopyRuns(database, "insert into ServerList (DisplayName, IPAddress, Port, "
                                        "InUse) values ('delta', '127.0.0.1', '80', 1)"));
        const QStringList changed{"alpha", "gamma2", "delta"};
        QTRY_COMPARE_WITH_TIMEOUT(shell.rowNames(), changed, 5000);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(selectedNames(), QStringList{"gamma2"});
        // What the copy reads while the database is away holds the change.
        QTRY_COMPARE_WITH_TIMEOUT(serversIn(shell.path("ServerList-snapshot.db")), 4, 5000);

        closeOtherCopy();
        m_pgStopped = PgTestCluster::stopServer();
        QVERIFY(m_pgStopped);
        QTRY_COMPARE_WITH_TIMEOUT(panel1->text(), QStringLiteral("数据库：离线(只读)"), 15000);
        QVERIFY(!panel1->toolTip().isEmpty());
        QCOMPARE(shell.rowNames(), changed);
        const QList<std::pair<QString, QString>> refusals = {
            {QStringLiteral("CmdServer"), QStringLiteral("对不起,添加失败")},
            {QStringLiteral("Menu_EditServer"), QStringLiteral("对不起,保存失败")}};
        for (const auto& [command, title] : refusals) {
            shell.selectRow(0);
            const QString opened = shell.dialogOpenedBy(
                [&main, &command] {
                    if (auto* button = main.findChild<QPushButton*>(command))
                        button->click();
                    else
                        main.findChild<QAction*>(command)->trigger();
                },
                [](QDialog* dialog) {
                    dialog->findChild<QLineEdit*>("TextDisplayName")->setText("epsilon");
                    dialog->findChild<QLineEdit*>("TextIPAddress")->setText("127.0.0.1");
                    dialog->findChild<QLineEdit*>("TextPort")->setText("81");
                    dialog->findChild<QPushButton*>("CmdSave")->click();
                });
            QVERIFY2(!opened.isEmpty(), qPrintable(command));
            const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown.first().title, title);
            QVERIFY2(shown.first().text.contains(QStringLiteral("数据库离线(只读)")),
                     qPrintable(shown.first().text));
        }
        QCOMPARE(shell.rowNames(), changed);

        QVERIFY(PgTestCluster::startServer());
        m_pgStopped = false;
        QTRY_COMPARE_WITH_TIMEOUT(panel1->text(), QStringLiteral("数据库：连接成功"), 60000);
        QVERIFY(panel1->toolTip().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(shell.rowNames(), changed, 5000);
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(), 4);
    }

    void helpMenuOpensItsPages() {
        Shell shell;
        FormMain& main = shell.start();
        main.findChild<QAction*>(QStringLiteral("Menu_HelpWeb"))->trigger();
        QCOMPARE(shell.urls.opened,
                 QList<QUrl>{QUrl("https://www.example.com/?MyProject=ZodevuViruz")});
        QCOMPARE(shell.dialogOpenedBy(
                     [&] { main.findChild<QAction*>(QStringLiteral("Menu_About"))->trigger(); }),
                 QStringLiteral("frmAbout"));
    }

    void closingHidesIntoTheTrayWithOneHint() {
        Shell shell;
        FormMain& main = shell.startShown();
        shell.tray.calls.clear();

        QVERIFY(!main.close());
        QTRY_VERIFY(!main.isVisible());
        QCOMPARE(shell.tray.balloons, QStringList{HintBalloon});
        QCOMPARE(shell.sound.played.size(), 1);
        QCOMPARE(shell.tray.calls.last(), QStringLiteral("setIcon"));

        main.showNormal();
        QVERIFY(main.isVisible());
        QVERIFY(!main.close());
        QTRY_VERIFY(!main.isVisible());
        QCOMPARE(shell.tray.balloons.size(), 1);
        QCOMPARE(shell.sound.played.size(), 1);
        QVERIFY(shell.urls.opened.isEmpty());
        QVERIFY(shell.window);
    }

    void minimisingHidesWithoutHint() {
        Shell shell;
        FormMain& main = shell.startShown();
        main.showMinimized();
        QTRY_VERIFY(!main.isVisible());
        QVERIFY(shell.tray.balloons.isEmpty());
    }

    void withoutATrayCloseKeepsTheWindowOnTheTaskBar() {
        Shell shell;
        shell.tray.available = false;
        FormMain& main = shell.startShown();
        QVERIFY(!main.close());
        QVERIFY(main.isVisible());
        QVERIFY(main.isMinimized());
        main.showMinimized();
        QVERIFY(main.isVisible());
        QVERIFY(shell.tray.balloons.isEmpty());
        QVERIFY(shell.window);
    }

    void exitTakesTheRealPathInOrder_data() {
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QString>("storedWidth");
        QTest::newRow("normal window stores its size") << false << "12000";
        QTest::newRow("maximised window keeps the stored size") << true << "<absent>";
    }
    void exitTakesTheRealPathInOrder() {
        QFETCH(bool, maximised);
        QFETCH(QString, storedWidth);
        Shell shell;
        FormMain& main = shell.startShown();
        if (maximised)
            main.showMaximized();
        QPointer<FormSetup> setup = main.findChild<FormSetup*>();
        shell.steps.clear();
        main.findChild<QPushButton*>(QStringLiteral("CmdExit"))->click();
        QCOMPARE(shell.steps,
                 (QStringList{"OpenUrl", "TrayRemove", "SaveINI", "DbClose", "SocketsCleanup",
                              "UnloadFormSetup", "UnloadFormMain", "End"}));
        QCOMPARE(shell.urls.opened,
                 QList<QUrl>{QUrl("https://www.example.com/?AppName=TesselwickZodevuViruz")});
        QCOMPARE(shell.tray.calls.last(), QStringLiteral("remove"));
        QCOMPARE(shell.ini("SETTING", "MAINWIDTH"), storedWidth);
        QCOMPARE(shell.ini("SETTING", "LSTRESULT13"), QStringLiteral("1000"));
        QVERIFY(!ModuleDB::DbConnected());
        QTRY_VERIFY(setup.isNull());
        QTRY_VERIFY(shell.window.isNull());
    }

    // SIGTERM, SIGINT and SIGHUP take the exit command's path, open dialogs
    // closed first, without the update-check page; a second signal while it
    // runs adds nothing.
    void aTerminationSignalTakesTheExitPath_data() {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("dialogOpen");
        QTest::newRow("before the window shows") << false << false;
        QTest::newRow("window shown") << true << false;
        QTest::newRow("settings dialog open") << true << true;
    }
    void aTerminationSignalTakesTheExitPath() {
        QFETCH(bool, shown);
        QFETCH(bool, dialogOpen);
        Shell shell;
        FormMain& main = shown ? shell.startShown() : shell.start();
        QPointer<FormSetup> setup = main.findChild<FormSetup*>();
        shell.steps.clear();
        const auto signal = [&main] {
            main.exitOnSignal();
            main.exitOnSignal();
        };
        if (dialogOpen) {
            QTimer::singleShot(0, setup, signal);
            main.findChild<QPushButton*>(QStringLiteral("CmdSetup"))->click();
        } else {
            signal();
        }
        QCOMPARE(shell.steps,
                 (QStringList{"OpenUrl", "TrayRemove", "SaveINI", "DbClose", "SocketsCleanup",
                              "UnloadFormSetup", "UnloadFormMain", "End"}));
        QVERIFY(shell.urls.opened.isEmpty());
        QCOMPARE(shell.ini("SETTING", "LSTRESULT13"), QStringLiteral("1000"));
        QVERIFY(!ModuleDB::DbConnected());
        QTRY_VERIFY(setup.isNull());
        QTRY_VERIFY(shell.window.isNull());
    }

    void systemMenuSetupRestoresTheWindowFirst() {
        Shell shell;
        FormMain& main = shell.startShown();
        QVERIFY(!main.close());
        QTRY_VERIFY(!main.isVisible());
        auto* setup = main.findChild<FormSetup*>();
        bool shownOverTheWindow = false;
        QTimer::singleShot(0, setup, [&] {
            shownOverTheWindow = setup->isVisible() && main.isVisible() && !main.isMinimized();
            setup->CmdCancel->click();
        });
        main.findChild<QAction*>(QStringLiteral("Menu_Setup"))->trigger();
        QVERIFY(shownOverTheWindow);
        QVERIFY(!setup->isVisible());
    }

    // The settings dialog's button opens the channels over the dialog.
    void settingsButtonOpensTheChannels() {
        Shell shell;
        FormMain& main = shell.startShown();
        auto* setup = main.findChild<FormSetup*>();
        QString opened;
        bool overTheSettings = false;
        QTimer::singleShot(0, setup, [&] {
            opened = shell.dialogOpenedBy(
                [&] { setup->CmdChannels->click(); },
                [&](QDialog* channels) { overTheSettings = channels->parentWidget() == setup; });
            setup->CmdCancel->click();
        });
        main.findChild<QPushButton*>(QStringLiteral("CmdSetup"))->click();
        QCOMPARE(opened, QStringLiteral("FormChannels"));
        QVERIFY(overTheSettings);
        QVERIFY(!setup->isVisible());
    }

    // Chosen from the tray menu while the channels are open: no second
    // dialog opens over the first.
    void channelsOpenOnce() {
        Shell shell;
        FormMain& main = shell.startShown();
        auto* item = main.findChild<QAction*>(QStringLiteral("Menu_Channels"));
        qsizetype mostOpen = 0;
        const auto count = [&] {
            mostOpen = std::max(mostOpen, main.findChildren<FormChannels*>().size());
        };
        QTimer::singleShot(0, &main, [&] {
            // Counts and closes a second dialog, should one open.
            QTimer::singleShot(0, &main, [&] {
                count();
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    dialog->reject();
            });
            item->trigger();
            count();
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        item->trigger();
        QCOMPARE(mostOpen, 1);
    }

    void exitWhileTheSettingsDialogIsOpen() {
        Shell shell;
        FormMain& main = shell.startShown();
        QPointer<FormSetup> setup = main.findChild<FormSetup*>();
        QTimer::singleShot(0, setup, [&] {
            QVERIFY(setup->isVisible());
            main.findChild<QAction*>(QStringLiteral("Menu_Exit"))->trigger();
        });
        main.findChild<QPushButton*>(QStringLiteral("CmdSetup"))->click();
        QCOMPARE(shell.steps.last(), QStringLiteral("End"));
        QTRY_VERIFY(setup.isNull());
        QTRY_VERIFY(shell.window.isNull());
    }

    // The exit path runs inside the send of the first echo; the echo's
    // answer comes after the windows are gone and touches nothing.
    void exitWhileAnEchoIsUnderWayIsSafe() {
        Shell shell;
        shell.addServers();
        FormMain& main = shell.startShown();
        shell.echo.script.enqueue({0, 5, 100});
        shell.echo.duringSend = [&](int) {
            shell.echo.duringSend = nullptr;
            main.findChild<QPushButton*>(QStringLiteral("CmdExit"))->click();
        };
        main.findChild<QPushButton*>(QStringLiteral("CmdStart"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(shell.window.isNull(), 10000);
        QCOMPARE(shell.steps.last(), QStringLiteral("End"));
        QTRY_COMPARE(shell.echo.underWay, 0);
        QVERIFY(shell.echo.answered.isEmpty());
    }

    void trayMessages_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<bool>("menu");
        QTest::newRow("515 double click restores") << 515 << true << false;
        QTest::newRow("1029 balloon click restores") << 1029 << true << false;
        // The tray opens its context menu itself: the handler adds no second one.
        QTest::newRow("517 right button leaves the menu to the tray") << 517 << false << false;
        QTest::newRow("512 mouse move does nothing") << 512 << false << false;
    }
    void trayMessages() {
        QFETCH(int, number);
        QFETCH(bool, restored);
        QFETCH(bool, menu);
        Shell shell;
        FormMain& main = shell.startShown();
        QVERIFY(!main.close());
        QTRY_VERIFY(!main.isVisible());
        const int iconChanges = shell.tray.iconChanges;

        emit shell.tray.mouseMessage(number);
        QCOMPARE(main.isVisible(), restored);
        if (restored) {
            QVERIFY(!main.isMinimized());
            QVERIFY(shell.tray.iconChanges > iconChanges);
        }
        auto* systemMenu = main.findChild<QMenu*>(QStringLiteral("Menu_System"));
        QCOMPARE(systemMenu->isVisible(), menu);
        // The tray shows the system menu itself.
        QCOMPARE(shell.tray.contextMenu, systemMenu);
        systemMenu->hide();
    }

    // With any dialog open, the tray's own window takes clicks, its context
    // menu pops up and a double click restores the window.
    void trayStaysLiveWhileADialogIsOpen_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("settings") << "CmdSetup";
        QTest::newRow("add server") << "CmdServer";
        QTest::newRow("search") << "CmdFind";
        QTest::newRow("about") << "Menu_About";
    }
    void trayStaysLiveWhileADialogIsOpen() {
        QFETCH(QString, command);
        Shell shell;
        FormMain& main = shell.startShown();
        OwnWindow trayWindow;
        trayWindow.resize(24, 24);
        trayWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trayWindow));
        auto* systemMenu = main.findChild<QMenu*>(QStringLiteral("Menu_System"));
        bool menuShown = false;
        bool restored = false;
        const QString opened = shell.dialogOpenedBy(
            [&] {
                if (auto* button = main.findChild<QPushButton*>(command))
                    button->click();
                else
                    main.findChild<QAction*>(command)->trigger();
            },
            [&](QDialog*) {
                QTest::mouseClick(trayWindow.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
                // The tray pops its context menu itself on a right click.
                QCOMPARE(shell.tray.contextMenu, systemMenu);
                systemMenu->popup(QPoint(5, 5));
                menuShown = systemMenu->isVisible();
                systemMenu->hide();
                main.hide();
                emit shell.tray.mouseMessage(515);
                restored = main.isVisible();
            });
        QVERIFY(!opened.isEmpty());
        QCOMPARE(trayWindow.presses, 1);
        QVERIFY(menuShown);
        QVERIFY(restored);
    }

    void systemSetupRaisesTheOpenSettingsDialog() {
        Shell shell;
        FormMain& main = shell.startShown();
        auto* setup = main.findChild<FormSetup*>();
        QWidget elsewhere;
        bool leftActive = false;
        bool raised = false;
        QTest::failOnWarning(QRegularExpression(QStringLiteral("exec")));
        QTimer::singleShot(0, setup, [&] {
            elsewhere.show();
            elsewhere.activateWindow();
            leftActive = QTest::qWaitFor([&] { return elsewhere.isActiveWindow(); });
            main.findChild<QAction*>(QStringLiteral("Menu_Setup"))->trigger();
            raised = QTest::qWaitFor([&] { return setup->isActiveWindow(); });
            setup->CmdCancel->click();
        });
        main.findChild<QPushButton*>(QStringLiteral("CmdSetup"))->click();
        QVERIFY(leftActive);
        QVERIFY(raised);
        QVERIFY(!setup->isVisible());
    }

    // "退出系统" from the tray while an editor is open closes the editor as
    // its close box would, storing nothing, then takes the exit path.
    void trayExitClosesAnOpenEditorUnsaved_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("add") << "CmdServer";
        QTest::newRow("edit") << "Menu_EditServer";
    }
    void trayExitClosesAnOpenEditorUnsaved() {
        QFETCH(QString, command);
        Shell shell;
        shell.addServers();
        FormMain& main = shell.startShown();
        shell.selectRow(0);
        bool closed = false;
        int reloads = 0;
        const QString opened = shell.dialogOpenedBy(
            [&] {
                if (auto* button = main.findChild<QPushButton*>(command))
                    button->click();
                else
                    main.findChild<QAction*>(command)->trigger();
            },
            [&](QDialog* editor) {
                connect(qobject_cast<ServerEditor*>(editor), &ServerEditor::catalogueChanged,
                        [&] { ++reloads; });
                editor->findChild<QLineEdit*>(QStringLiteral("TextDisplayName"))
                    ->setText(QStringLiteral("unsaved"));
                emit shell.tray.mouseMessage(517);
                main.findChild<QAction*>(QStringLiteral("Menu_Exit"))->trigger();
                closed = !editor->isVisible();
            });
        QVERIFY(!opened.isEmpty());
        QVERIFY(closed);
        QCOMPARE(reloads, 0);
        QCOMPARE(shell.steps.last(), QStringLiteral("End"));
        QTRY_VERIFY(shell.window.isNull());
        QVERIFY(ModuleDB::DbOpen());
        QStringList stored;
        for (const ServerRecord& server :
             ServerCatalogue::SelectServers(ServerCatalogue::Selection::All))
            stored.append(server.displayName);
        ModuleDB::DbClose();
        QCOMPARE(stored, (QStringList{"alpha", "beta", "gamma"}));
    }

    // Qt's own texts are Chinese once its translations are installed, as
    // main() does at start.
    void qtStandardTextsAreChinese() {
        QVERIFY(QtTranslations::install(*qApp));
        QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        const QString ok = box.button(QMessageBox::Ok)->text();
        const QString cancel = box.button(QMessageBox::Cancel)->text();
        QLineEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        const QString undo = menu->actions().value(0)->text();
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QCOMPARE(ok, QStringLiteral("确定"));
        QCOMPARE(cancel, QStringLiteral("取消"));
        QVERIFY2(undo.startsWith(QStringLiteral("撤消")), qPrintable(undo));
    }

    // Without a tray a click on a desktop notice restores as a balloon click does.
    void aClickOnADesktopNoticeRestores() {
        Shell shell;
        shell.tray.available = false;
        FormMain& main = shell.startShown();
        main.showMinimized();
        QTRY_VERIFY(main.isMinimized());
        emit shell.notifications.clicked();
        QTRY_VERIFY(!main.isMinimized());
        QVERIFY(main.isVisible());
    }

    void themeMenuListsTheSkinFolder_data() {
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QString>("applied"); // empty: nothing applied
        QTest::newRow("every file, readme included")
            << true << QStringList{"a.she", "b.she", "readme.txt"}
            << QStringList{"a.she", "b.she", "readme.txt"} << 1 << "b.she";
        QTest::newRow("hidden files too")
            << true << QStringList{"b.she", ".hidden.she"} << QStringList{".hidden.she", "b.she"}
            << 0 << ".hidden.she";
        QTest::newRow("the first entry applies its file")
            << true << QStringList{"a.she", "b.she"} << QStringList{"a.she", "b.she"} << 0
            << "a.she";
        QTest::newRow("empty folder keeps the designed entry")
            << true << QStringList{} << QStringList{"主题列表"} << 0 << QString();
        QTest::newRow("missing folder leaves one empty entry")
            << false << QStringList{} << QStringList{QString()} << 0 << QString();
    }
    void themeMenuListsTheSkinFolder() {
        QFETCH(bool, folderExists);
        QFETCH(QStringList, files);
        QFETCH(QStringList, captions);
        QFETCH(int, chosen);
        QFETCH(QString, applied);
        Shell shell;
        if (folderExists)
            shell.addSkinFiles(files);
        FormMain& main = shell.start();
        QCOMPARE(shell.themeCaptions(), captions);

        shell.skins.attached.clear();
        main.findChild<QMenu*>(QStringLiteral("Menu_Theme"))->actions().at(chosen)->trigger();
        const QStringList expected =
            applied.isEmpty() ? QStringList{} : QStringList{shell.path("Skin/" + applied)};
        QCOMPARE(shell.skins.attached, expected);
        QCOMPARE(shell.ini("SETUP", "SKIN"), applied.isEmpty() ? "skinh.she" : applied);
    }

    void attachingASkinReplacesTheWholeLook_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second"); // empty: the default skin
        for (const char* second : {"dark.she", "ocean.she", "skinh.she", ""})
            QTest::addRow("contrast.she, then %s", *second ? second : "the default")
                << "contrast.she" << QString::fromLatin1(second);
        QTest::newRow("dark.she, then contrast.she") << "dark.she"
                                                     << "contrast.she";
    }
    void attachingASkinReplacesTheWholeLook() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        Shell shell;
        FormMain& main = shell.startShown();
        FakeSysInfoLocator locator;
        frmAbout about(locator, shell.processes, &main);
        about.show();
        const QList<QWidget*> windows{&main, &about};
        auto* title = about.findChild<QLabel*>(QStringLiteral("lblTitle"));
        const QFont titleFont = title->font();

        const QString skins = qEnvironmentVariable("SERVERMON_SOURCE_DIR") + "/resources/Skin/";
        StyleSheetSkinEngine engine;
        const auto attach = [&](const QString& name) {
            if (name.isEmpty())
                engine.attachDefault();
            else
                QVERIFY2(engine.attachFile(skins + name), qPrintable(name));
        };
        // Combo boxes make their pop-up lists on first need, a style change
        // included; made now, both looks list the same widgets.
        for (QComboBox* combo : main.findChildren<QComboBox*>())
            combo->view();
        attach(second);
        const Look alone = lookOf(windows);
        attach(first);
        attach(second);
        compareLooks(lookOf(windows), alone);
        // The window's own fonts outlive every skin.
        QCOMPARE(title->font().bold(), titleFont.bold());
        QCOMPARE(title->font().pointSizeF(), titleFont.pointSizeF());
        engine.attachDefault();
    }

    void headersElideLikeCellsAndTipTheirCaption_data() {
        QTest::addColumn<QString>("skin"); // empty: the default skin
        QTest::newRow("default") << QString();
        for (const char* skin : {"contrast.she", "dark.she", "ocean.she", "skinh.she"})
            QTest::newRow(skin) << QString::fromLatin1(skin);
    }
    void headersElideLikeCellsAndTipTheirCaption() {
        QFETCH(QString, skin);
        Shell shell;
        FormMain& main = shell.startShown();
        StyleSheetSkinEngine engine;
        if (!skin.isEmpty())
            QVERIFY(engine.attachFile(qEnvironmentVariable("SERVERMON_SOURCE_DIR") +
                                      "/resources/Skin/" + skin));
        auto* list = main.findChild<QTreeView*>(QStringLiteral("LstResult"));
        auto* header = qobject_cast<ElidingHeaderView*>(list->header());
        QVERIFY(header);
        const int column = ServerRowModel::ReplyTime;
        const QString caption = QStringLiteral("SOCKET时间");
        const QFontMetrics metrics = header->viewport()->fontMetrics();

        header->resizeSection(column, metrics.horizontalAdvance(caption) + 40);
        QCOMPARE(header->shownText(column), caption);

        const int narrow = metrics.horizontalAdvance(caption) * 2 / 3;
        header->resizeSection(column, narrow);
        QCoreApplication::processEvents();
        const QString shown = header->shownText(column);
        QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
        QVERIFY2(caption.startsWith(shown.chopped(1)), qPrintable(shown));
        QVERIFY(metrics.horizontalAdvance(shown) < narrow);
        QCOMPARE(header->sectionSize(column), narrow); // the width stays as it was set

        const QPoint inside(header->sectionViewportPosition(column) + narrow / 2,
                            header->height() / 2);
        QHelpEvent help(QEvent::ToolTip, inside, header->viewport()->mapToGlobal(inside));
        QCoreApplication::sendEvent(header->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), caption);
        QToolTip::hideText();
        engine.attachDefault();
    }

    // What the program fetches and opens on its own: the announcement at
    // start and the update-check page at exit. On in a portable copy, as
    // always; off in an installed one; either as the settings say.
    void pagesOpenedWithoutBeingAsked_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("announce");
        QTest::addColumn<bool>("exitPage");
        QTest::newRow("portable") << false << QByteArray() << true << true;
        QTest::newRow("portable, both off")
            << false << QByteArray("ANNOUNCE=0\nEXITPAGE=0\n") << false << false;
        QTest::newRow("installed") << true << QByteArray() << false << false;
        QTest::newRow("installed, announcement on")
            << true << QByteArray("ANNOUNCE=1\n") << true << false;
        QTest::newRow("installed, exit page on")
            << true << QByteArray("EXITPAGE=1\n") << false << true;
    }
    void pagesOpenedWithoutBeingAsked() {
        QFETCH(bool, installed);
        QFETCH(QByteArray, stored);
        QFETCH(bool, announce);
        QFETCH(bool, exitPage);
        Shell shell(installed);
        QFile settings(shell.path(QStringLiteral("RodOdazuConfig.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[SETUP]\n" + stored);
        settings.close();
        // The announcement page comes from a closed port on this machine.
        QPointer<FormLoading> splash =
            new FormLoading(shell.services, QUrl("http://127.0.0.1:9/ads/ads.asp"));
        shell.window = splash->mainWindow();
        QPointer<FormAD> announcement;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* shown = qobject_cast<FormAD*>(window); shown && shown->isVisible())
                announcement = shown;
        }
        QCOMPARE(!announcement.isNull(), announce);
        if (announcement) {
            announcement->close();
            QTRY_VERIFY(announcement.isNull());
        }
        const auto* setup = shell.window->findChild<FormSetup*>();
        QCOMPARE(setup->CheckAnnounce->isChecked(), announce);
        QCOMPARE(setup->CheckExitPage->isChecked(), exitPage);
        splash->Timer1_Timer();
        QTRY_VERIFY(splash.isNull());
        shell.window->findChild<QPushButton*>(QStringLiteral("CmdExit"))->click();
        QCOMPARE(shell.urls.opened,
                 exitPage
                     ? QList<QUrl>{QUrl("https://www.example.com/?AppName=TesselwickZodevuViruz")}
                     : QList<QUrl>{});
        QTRY_VERIFY(shell.window.isNull());
    }

    void splashShowsTheMainWindowOnItsFirstTick() {
        Shell shell;
        shell.addSkinFiles({"dark.she"});
        QVERIFY(IniFile(shell.path("RodOdazuConfig.ini")).setValue("SETUP", "SKIN", "dark.she"));
        // The announcement page comes from a closed port on this machine.
        QPointer<FormLoading> splash =
            new FormLoading(shell.services, QUrl("http://127.0.0.1:9/ads/ads.asp"));
        splash->show();
        QPointer<FormMain> main = splash->mainWindow();
        QVERIFY(main);
        QVERIFY(!main->isVisible());
        QCOMPARE(main->windowTitle(), Caption);
        QCOMPARE(shell.skins.attached,
                 (QStringList{"<default>", shell.path(QStringLiteral("Skin/dark.she"))}));
        QTRY_VERIFY_WITH_TIMEOUT(splash.isNull(), 5000);
        QVERIFY(main->isVisible());
        shell.window = main;
        QPointer<FormAD> announcement = FormAD::showAnnouncement();
        QVERIFY(announcement->isVisible());
        announcement->close();
        QTRY_VERIFY(announcement.isNull());
    }
};

QTEST_MAIN(TestFormMain)
#include "tst_formmain.moc"
