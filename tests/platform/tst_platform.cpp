#include "HostileText.h"
#include "catalogue/ModuleDB.h"
#include "config/ModuleINI.h"
#include "config/SkinFolder.h"
#include "platform/AppPaths.h"
#include "platform/GraphicalSession.h"
#include "platform/SingleInstance.h"
#include "platform/gui/MessageBoxes.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "platform/gui/SystemTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <future>

namespace {

int distance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// The pixel of rect that stands out most from colour: the ink drawn on it.
QColor inkIn(const QImage& image, const QRect& rect, QColor colour) {
    QColor ink = colour;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (distance(pixel, colour) > distance(ink, colour))
                ink = pixel;
        }
    }
    return ink;
}

// The inside of a check box's indicator, in window coordinates, less its border.
QRect indicatorInside(const QCheckBox* box, const QWidget* window) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    return indicator.translated(box->mapTo(window, QPoint())).adjusted(3, 3, -3, -3);
}

} // namespace

namespace {

void touch(const QString& path) {
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// XDG_CONFIG_HOME and XDG_DATA_HOME in a temporary folder for one test.
struct XdgHome {
    QTemporaryDir home;
    QString config = home.filePath(QStringLiteral("config"));
    QString data = home.filePath(QStringLiteral("data"));
    XdgHome() {
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_DATA_HOME", data.toUtf8());
    }
    ~XdgHome() {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
    }
};

} // namespace

class TestPlatform final : public QObject {
    Q_OBJECT
private slots:
    void portableModeKeepsEverythingBesideTheProgram_data() {
        QTest::addColumn<QString>("sign"); // a file beside the program, or --portable
        QTest::newRow("marker") << "portable";
        QTest::newRow("settings file already there") << "RodOdazuConfig.ini";
        QTest::newRow("catalogue already there") << "ServerList.db";
        QTest::newRow("--portable") << "--portable";
    }
    void portableModeKeepsEverythingBesideTheProgram() {
        QFETCH(QString, sign);
        XdgHome xdg;
        QTemporaryDir program;
        const bool option = sign == QLatin1String("--portable");
        if (!option)
            touch(program.filePath(sign));
        // A trailing separator names the same folder.
        const AppPaths paths = AppPaths::decide(program.path() + QLatin1Char('/'), {option, {}});
        const QString folder = program.path();
        QCOMPARE(paths.mode(), AppPaths::Mode::Portable);
        QCOMPARE(paths.settingsFile(QStringLiteral("RodOdazuConfig")),
                 folder + "/RodOdazuConfig.ini");
        QCOMPARE(paths.catalogueFile(), folder + "/ServerList.db");
        QCOMPARE(paths.historyFile(), folder + "/History.db");
        QCOMPARE(paths.instanceLockFile(), folder + "/servermon.lock");
        QCOMPARE(paths.soundFile(), folder + "/Sound/NewMessage.wav");
        QCOMPARE(paths.skinFolders(), QStringList{folder + "/Skin"});
        QCOMPARE(paths.skinFile(QStringLiteral("dark.she")), folder + "/Skin/dark.she");
    }

    void installedModeUsesTheXdgFolders() {
        XdgHome xdg;
        QTemporaryDir prefix;
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        const AppPaths paths = AppPaths::decide(bin, {});
        QCOMPARE(paths.mode(), AppPaths::Mode::Installed);
        QCOMPARE(paths.settingsFile(QStringLiteral("RodOdazuConfig")),
                 xdg.config + "/servermon/RodOdazuConfig.ini");
        QCOMPARE(paths.catalogueFile(), xdg.data + "/servermon/ServerList.db");
        QCOMPARE(paths.historyFile(), xdg.data + "/servermon/History.db");
        QCOMPARE(paths.instanceLockFile(), xdg.data + "/servermon/servermon.lock");
        QCOMPARE(paths.soundFile(), prefix.path() + "/share/servermon/Sound/NewMessage.wav");
        QCOMPARE(paths.skinFolders(), QStringList({xdg.data + "/servermon/Skin",
                                                   prefix.path() + "/share/servermon/Skin"}));
    }

    void configFolderTakesTheOperatorsFiles_data() {
        QTest::addColumn<bool>("portable");
        QTest::newRow("beside a portable copy") << true;
        QTest::newRow("beside an installed copy") << false;
    }
    void configFolderTakesTheOperatorsFiles() {
        QFETCH(bool, portable);
        XdgHome xdg;
        QTemporaryDir program;
        QTemporaryDir config;
        const AppPaths paths = AppPaths::decide(program.path(), {portable, config.path()});
        QCOMPARE(paths.settingsFile(QStringLiteral("RodOdazuConfig")),
                 config.path() + "/RodOdazuConfig.ini");
        QCOMPARE(paths.catalogueFile(), config.path() + "/ServerList.db");
        QCOMPARE(paths.historyFile(), config.path() + "/History.db");
        QCOMPARE(paths.instanceLockFile(), config.path() + "/servermon.lock");
        QCOMPARE(paths.userSkinFolder(), config.path() + "/Skin");
        // Shipped files stay where the mode puts them.
        const QString shipped =
            portable ? program.path() : QDir::cleanPath(program.path() + "/../share/servermon");
        QCOMPARE(paths.soundFile(), shipped + "/Sound/NewMessage.wav");
        QCOMPARE(paths.skinFolders().last(), shipped + "/Skin");
    }

    // The program in a folder it may not write: installed mode, and the
    // first start makes its settings and catalogue in the XDG folders.
    void readOnlyProgramFolderKeepsItsFilesInXdgFolders() {
        XdgHome xdg;
        QTemporaryDir program;
        QFile folder(program.path());
        const auto writable = folder.permissions();
        QVERIFY(folder.setPermissions(QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const AppPaths paths = AppPaths::decide(program.path(), {});
        QCOMPARE(paths.mode(), AppPaths::Mode::Installed);
        QVERIFY(paths.createFolders());
        AppPaths::setCurrent(paths);
        ModuleDB::setDbPath(ModuleDB::DefaultDbPath());
        QVERIFY(ModuleDB::DbOpen());
        ModuleDB::DbClose();
        QCOMPARE(ModuleINI::IniReadString(QStringLiteral("SETUP"), QStringLiteral("SKIN"),
                                          QStringLiteral("skinh.she")),
                 QStringLiteral("skinh.she"));
        QVERIFY(QFileInfo(xdg.data + "/servermon/ServerList.db").isFile());
        QVERIFY(QFileInfo(xdg.config + "/servermon/RodOdazuConfig.ini").isFile());
        QVERIFY(QDir(program.path()).isEmpty());
        AppPaths::setCurrent(AppPaths::portableIn(QCoreApplication::applicationDirPath()));
        ModuleDB::setDbPath(QString());
        QVERIFY(folder.setPermissions(writable));
    }

    void aUserSkinHidesTheShippedOneOfItsName() {
        XdgHome xdg;
        QTemporaryDir prefix;
        QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
        for (const char* name : {"skinh.she", "dark.she", "Ocean.she"})
            touch(prefix.filePath(QStringLiteral("share/servermon/Skin/") + name));
        for (const char* name : {"dark.she", "mine.qss"})
            touch(xdg.data + "/servermon/Skin/" + name);
        AppPaths::setCurrent(AppPaths::decide(prefix.filePath(QStringLiteral("bin")), {}));
        QCOMPARE(SkinFolder::SkinFiles(),
                 QStringList({"dark.she", "mine.qss", "Ocean.she", "skinh.she"}));
        QCOMPARE(SkinFolder::filePath(QStringLiteral("dark.she")),
                 xdg.data + "/servermon/Skin/dark.she");
        QCOMPARE(SkinFolder::filePath(QStringLiteral("skinh.she")),
                 prefix.path() + "/share/servermon/Skin/skinh.she");
        // Without either folder there is nothing to list.
        QVERIFY(QDir(prefix.filePath(QStringLiteral("share"))).removeRecursively());
        QVERIFY(QDir(xdg.data).removeRecursively());
        QVERIFY(!SkinFolder::SkinFiles());
        AppPaths::setCurrent(AppPaths::portableIn(QCoreApplication::applicationDirPath()));
    }

    void graphicalSessionNeedsADisplayOrAPlatform_data() {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<bool>("available");
        QTest::newRow("nothing") << QStringList{} << false;
        QTest::newRow("empty DISPLAY") << QStringList{"DISPLAY="} << false;
        QTest::newRow("X") << QStringList{"DISPLAY=:0"} << true;
        QTest::newRow("Wayland") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << true;
        QTest::newRow("offscreen") << QStringList{"QT_QPA_PLATFORM=offscreen"} << true;
    }
    void graphicalSessionNeedsADisplayOrAPlatform() {
        QFETCH(QStringList, variables);
        QFETCH(bool, available);
        QProcessEnvironment environment;
        for (const QString& variable : variables)
            environment.insert(variable.section(QLatin1Char('='), 0, 0),
                               variable.section(QLatin1Char('='), 1));
        QCOMPARE(GraphicalSession::available(environment), available);
    }

    // A later start asks the running copy to show its window; the copy
    // answers what it is, and the headless service has no window to show.
    void oneInstancePerLockFile_data() {
        QTest::addColumn<SingleInstance::Role>("role");
        QTest::addColumn<SingleInstance::Activation>("activation");
        QTest::addColumn<int>("shownCount");
        QTest::newRow("window copy")
            << SingleInstance::Role::Window << SingleInstance::Activation::Shown << 1;
        QTest::newRow("headless copy")
            << SingleInstance::Role::Headless << SingleInstance::Activation::Headless << 0;
    }
    void oneInstancePerLockFile() {
        QFETCH(SingleInstance::Role, role);
        QFETCH(SingleInstance::Activation, activation);
        QFETCH(int, shownCount);
        QTemporaryDir folder;
        QTemporaryDir other;
        const QString lock = folder.filePath(QStringLiteral("servermon.lock"));
        SingleInstance first(lock, role);
        QCOMPARE(first.claim(), SingleInstance::Claim::Claimed);
        QSignalSpy shown(&first, &SingleInstance::activationRequested);

        SingleInstance second(lock);
        QCOMPARE(second.serverName(), first.serverName());
        QCOMPARE(second.claim(), SingleInstance::Claim::AlreadyRunning);
        // The request waits for the answer, which this thread's loop gives.
        std::future<SingleInstance::Activation> answer =
            std::async(std::launch::async, [&second] { return second.activateRunning(); });
        QTRY_VERIFY(answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QCOMPARE(answer.get(), activation);
        QCOMPARE(shown.size(), shownCount);

        // Another folder is another instance.
        SingleInstance elsewhere(other.filePath(QStringLiteral("servermon.lock")));
        QVERIFY(elsewhere.serverName() != first.serverName());
        QCOMPARE(elsewhere.claim(), SingleInstance::Claim::Claimed);
    }

    // Whatever a lock file holds, only a live holder blocks: a file left by
    // a copy on another machine (a portable folder on a stick), an empty
    // one, or one that is no lock file at all. The holder writes who it is
    // and removes the file as it ends.
    void aLockFileWithoutAHolderDoesNotBlock_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("another machine") << QByteArray("4242\nservermon\nanother-machine\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no lock file") << QByteArray("\0\xff\n\n\n", 5);
    }
    void aLockFileWithoutAHolderDoesNotBlock() {
        QFETCH(QByteArray, content);
        QTemporaryDir folder;
        const QString lock = folder.filePath(QStringLiteral("servermon.lock"));
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        {
            SingleInstance instance(lock);
            QCOMPARE(instance.claim(), SingleInstance::Claim::Claimed);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray::number(QCoreApplication::applicationPid()) +
                                         "\ntst_platform\n" + QSysInfo::machineHostName().toUtf8() +
                                         '\n');
            file.close();
        }
        QVERIFY(!QFileInfo::exists(lock));
    }

    // The kernel ends the lock with its holder, however the holder ends.
    void theLockEndsWithItsHolder() {
        QTemporaryDir folder;
        const QString lock = folder.filePath(QStringLiteral("servermon.lock"));
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--hold-lock"), lock});
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 20000);
        QCOMPARE(holder.readLine(), QByteArray("claimed\n"));
        SingleInstance second(lock);
        QCOMPARE(second.claim(), SingleInstance::Claim::AlreadyRunning);
        holder.kill();
        QVERIFY(holder.waitForFinished(20000));
        QCOMPARE(second.claim(), SingleInstance::Claim::Claimed);
    }

    void noRunningInstanceAnswersWithinTheTimeOut() {
        QTemporaryDir folder;
        SingleInstance nobody(folder.filePath(QStringLiteral("servermon.lock")));
        QCOMPARE(nobody.activateRunning(300), SingleInstance::Activation::Unreachable);
    }

    void shippedSkinsDrawTicksAndDisabledItems_data() {
        QTest::addColumn<QString>("skin");
        const QDir skins(qEnvironmentVariable("SERVERMON_SOURCE_DIR") + "/resources/Skin");
        const QStringList files = skins.entryList(QDir::Files);
        QVERIFY(files.size() >= 4);
        for (const QString& name : files)
            QTest::newRow(qPrintable(name)) << skins.filePath(name);
    }
    // A ticked box shows a tick, not a filled square, enabled or not; the
    // disabled credit in the menu bar is drawn unlike an enabled item and
    // takes no highlight when pressed.
    void shippedSkinsDrawTicksAndDisabledItems() {
        QFETCH(QString, skin);
        StyleSheetSkinEngine engine;
        QVERIFY(engine.attachFile(skin));
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* bar = new QMenuBar(&window);
        layout->setMenuBar(bar);
        QAction* help = bar->addAction(QStringLiteral("帮助(&H)"));
        QAction* credit = bar->addAction(QStringLiteral("作者:Quillfern"));
        credit->setEnabled(false);
        QList<QCheckBox*> ticked;
        for (const bool enabled : {true, false}) {
            auto* box = new QCheckBox(QStringLiteral("新消息播放提示音"), &window);
            box->setChecked(true);
            box->setEnabled(enabled);
            layout->addWidget(box);
            ticked.append(box);
        }
        window.resize(400, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::mousePress(bar, Qt::LeftButton, {}, bar->actionGeometry(credit).center());
        const QImage shot = window.grab().toImage();
        QTest::mouseRelease(bar, Qt::LeftButton, {}, bar->actionGeometry(credit).center());

        for (const QCheckBox* box : ticked) {
            const QRect inside = indicatorInside(box, &window);
            const QColor fill = shot.pixelColor(inside.topLeft());
            QVERIFY2(distance(inkIn(shot, inside, fill), fill) > 80,
                     box->isEnabled() ? "enabled box" : "disabled box");
        }
        const QPoint barAt = bar->mapTo(&window, QPoint());
        const QRect helpRect = bar->actionGeometry(help).translated(barAt);
        const QRect creditRect = bar->actionGeometry(credit).translated(barAt);
        const QColor barColour = shot.pixelColor(creditRect.right() + 20, creditRect.center().y());
        QVERIFY2(distance(shot.pixelColor(creditRect.topLeft() + QPoint(1, 1)), barColour) < 10,
                 "the disabled credit is highlighted");
        // The middle band of each caption crosses its strokes and nothing else.
        const auto band = [](const QRect& rect) {
            return QRect(rect.left(), rect.center().y() - 3, rect.width(), 7);
        };
        const QColor helpInk = inkIn(shot, band(helpRect), barColour);
        const QColor creditInk = inkIn(shot, band(creditRect), barColour);
        QVERIFY2(distance(helpInk, creditInk) > 60,
                 qPrintable(helpInk.name() + " beside " + creditInk.name()));
        engine.attachDefault();
    }

    void messageBoxesAnswerFromTheQueue() {
        MessageBoxes::setTestMode(true);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Question, QStringLiteral("t"),
                                    QStringLiteral("x"), QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::Yes);
        MessageBoxes::queueAnswer(QMessageBox::No);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Critical,
                                    QStringLiteral("对不起,添加失败"), QStringLiteral("y"),
                                    QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).title, QStringLiteral("对不起,添加失败"));
        QCOMPARE(shown.at(1).icon, QMessageBox::Critical);
        QVERIFY(MessageBoxes::takeShown().isEmpty());
        MessageBoxes::setTestMode(false);
    }

    // Boxes show names and reports from outside: as written, loading nothing.
    void messageBoxesShowPlainText() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            const auto box =
                MessageBoxes::makeBox(nullptr, QMessageBox::Critical,
                                      QStringLiteral("对不起,添加失败"), payload, QMessageBox::Ok);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->text(), payload);
            const double ms = HostileText::cpuMsOf([&box] {
                box->show();
                box->grab();
            });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
        }
        QVERIFY(!fifo.opened());
    }

    // Where Qt draws the tray, its tip is a Qt tool-tip, which renders
    // markup, and its balloon is plain; a StatusNotifierItem tray shows the
    // tip as a plain title and hands the balloon to notifications, whose body
    // may be markup. Each is given a text that shows as written.
    void trayTextsShowAsWritten() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            const QString tip = QStringLiteral("IP:") + payload + QStringLiteral("\r\n状态:x");
            const double ms = HostileText::cpuMsOf([&tip] {
                QToolTip::showText(QPoint(10, 10), SystemTrayIcon::tipFor(tip, true));
                QApplication::processEvents();
            });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
            QCOMPARE(HostileText::shown(QToolTip::text()), QString(tip).remove(u'\r'));
            QToolTip::hideText();
            QCOMPARE(SystemTrayIcon::tipFor(tip, false), tip);
            QCOMPARE(SystemTrayIcon::balloonTextFor(tip, true), tip);
            QCOMPARE(SystemTrayIcon::balloonTextFor(tip, false), tip.toHtmlEscaped());
        }
        QVERIFY(!fifo.opened());
    }
};

// This executable started with "--hold-lock LOCK" holds the lock, says
// "claimed" and waits to be ended.
int holdLock(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    SingleInstance instance(QString::fromLocal8Bit(argv[2]));
    if (instance.claim() != SingleInstance::Claim::Claimed)
        return 3;
    std::puts("claimed");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int main(int argc, char* argv[]) {
    if (argc == 3 && qstrcmp(argv[1], "--hold-lock") == 0)
        return holdLock(argc, argv);
    QApplication app(argc, argv);
    TestPlatform test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_platform.moc"
