#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"
#include "service/CommandLine.h"
#include "service/MetricsEndpoint.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int ProcessWaitMs = 20000;

// The program as built, run as a child process.
QString programFile() {
    return qEnvironmentVariable("SERVERMON_BINARY");
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(programFile(), arguments);
    Run run;
    if (!process.waitForFinished(ProcessWaitMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// The environment of a session without any desktop.
QProcessEnvironment withoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// This executable started with "--hold-instance LOCK" stands in for a running
// copy: it holds the lock, prints "claimed", and prints "shown" whenever a
// later start asks it to show its window.
int holdInstance(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    SingleInstance instance(QString::fromLocal8Bit(argv[2]));
    if (instance.claim() != SingleInstance::Claim::Claimed)
        return 3;
    QObject::connect(&instance, &SingleInstance::activationRequested, [] {
        std::puts("shown");
        std::fflush(stdout);
    });
    std::puts("claimed");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class TestCommandLine final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFileInfo(programFile()).isExecutable()); }

    void parsesTheOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("portable");
        QTest::addColumn<QString>("configDir");
        const int run = static_cast<int>(CommandLine::Action::Run);
        const int print = static_cast<int>(CommandLine::Action::PrintAndEnd);
        const int fail = static_cast<int>(CommandLine::Action::Fail);
        QTest::newRow("nothing") << QStringList{} << run << false << QString();
        QTest::newRow("portable") << QStringList{"--portable"} << run << true << QString();
        QTest::newRow("config dir") << QStringList{"--config-dir", "run"} << run << false << "run";
        QTest::newRow("config dir with =")
            << QStringList{"--config-dir=/tmp/x"} << run << false << "/tmp/x";
        QTest::newRow("both") << QStringList{"--portable", "--config-dir", "d"} << run << true
                              << "d";
        QTest::newRow("help wins")
            << QStringList{"--portable", "-h"} << print << false << QString();
        QTest::newRow("version") << QStringList{"-v"} << print << false << QString();
        QTest::newRow("unknown option") << QStringList{"--bogus"} << fail << false << QString();
        QTest::newRow("config dir without folder")
            << QStringList{"--config-dir"} << fail << false << QString();
        QTest::newRow("empty config dir")
            << QStringList{"--config-dir", ""} << fail << false << QString();
        QTest::newRow("stray argument") << QStringList{"servers.db"} << fail << false << QString();
    }
    void parsesTheOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(bool, portable);
        QFETCH(QString, configDir);
        const CommandLine line = CommandLine::parse(QStringList{"servermon"} + arguments);
        QCOMPARE(static_cast<int>(line.action()), action);
        QCOMPARE(line.exitCode(), line.action() == CommandLine::Action::Fail ? 2 : 0);
        if (line.action() == CommandLine::Action::Run) {
            QCOMPARE(line.pathChoice().portable, portable);
            QCOMPARE(line.pathChoice().configDir, configDir);
        } else {
            QVERIFY(!line.output().isEmpty());
        }
    }

    // A shared catalogue for this run, or a copy of the file into one; an
    // empty address or a copy beside another command ends with a message.
    void parsesTheCatalogueOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("copyTarget");
        const QString uri = QStringLiteral("postgresql://ops@127.0.0.1/servermon");
        const int run = static_cast<int>(CommandLine::Action::Run);
        const int copy = static_cast<int>(CommandLine::Action::CopyCatalogue);
        const int fail = static_cast<int>(CommandLine::Action::Fail);
        QTest::newRow("database") << QStringList{"--headless", "--database", uri} << run << uri
                                  << QString();
        QTest::newRow("database trimmed")
            << QStringList{"--database=  " + uri + " "} << run << uri << QString();
        QTest::newRow("copy") << QStringList{"--config-dir", "d", "--copy-catalogue", uri} << copy
                              << QString() << uri;
        QTest::newRow("empty database")
            << QStringList{"--database", " "} << fail << QString() << QString();
        QTest::newRow("empty copy")
            << QStringList{"--copy-catalogue", ""} << fail << QString() << QString();
        QTest::newRow("copy and import")
            << QStringList{"--copy-catalogue", uri, "--import", "f.csv"} << fail << QString()
            << QString();
    }
    void parsesTheCatalogueOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, database);
        QFETCH(QString, copyTarget);
        const CommandLine line = CommandLine::parse(QStringList{"servermon"} + arguments);
        QCOMPARE(static_cast<int>(line.action()), action);
        if (line.action() == CommandLine::Action::Fail) {
            QVERIFY(line.output().startsWith(QStringLiteral("--")));
            return;
        }
        QCOMPARE(line.database(), database);
        QCOMPARE(line.copyTarget(), copyTarget);
    }

    // The metrics endpoint as an address and port or a port alone; mistakes
    // end before anything starts.
    void parsesTheServiceOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("headless");
        QTest::addColumn<QString>("endpoint"); // empty: refused
        QTest::newRow("headless") << QStringList{"--headless"} << true << QString();
        QTest::newRow("port only") << QStringList{"--metrics", "9100"} << false << "127.0.0.1:9100";
        QTest::newRow("address and port")
            << QStringList{"--headless", "--metrics=0.0.0.0:9100"} << true << "0.0.0.0:9100";
        QTest::newRow("IPv6") << QStringList{"--metrics", "[::1]:80"} << false << "[::1]:80";
        for (const char* bad : {"0", "65536", "::1:80", "host:80", "127.0.0.1:", "x", ""})
            QTest::newRow(bad) << QStringList{"--metrics", bad} << false << QString();
    }
    void parsesTheServiceOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, headless);
        QFETCH(QString, endpoint);
        const CommandLine line = CommandLine::parse(QStringList{"servermon"} + arguments);
        if (endpoint.isEmpty() && arguments.contains(QStringLiteral("--metrics"))) {
            QCOMPARE(line.action(), CommandLine::Action::Fail);
            QVERIFY(line.output().startsWith(QStringLiteral("--metrics")));
            return;
        }
        QCOMPARE(line.action(), CommandLine::Action::Run);
        QCOMPARE(line.headless(), headless);
        const std::optional<MetricsEndpoint> parsed = MetricsEndpoint::parse(line.metrics());
        QCOMPARE(parsed ? parsed->text() : QString(), endpoint);
    }

    // Options that need no window work without any display.
    void helpAndVersionNeedNoDisplay() {
        const Run version = runProgram({QStringLiteral("--version")}, withoutDisplay());
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("servermon 1.0.28\n"));
        QCOMPARE(version.err, QString());

        const Run help = runProgram({QStringLiteral("--help")}, withoutDisplay());
        QCOMPARE(help.exitCode, 0);
        for (const char* option :
             {"--help", "--version", "--portable", "--config-dir", "--headless", "--metrics"})
            QVERIFY2(help.out.contains(QLatin1String(option)), option);
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: ") + programFile()));
        QVERIFY(!help.out.contains(QStringLiteral("--help-all")));
    }

    // The help follows the language of the chosen settings, and its
    // descriptions start in one terminal column, Chinese placeholders taking
    // two columns a character.
    void helpSpeaksTheChosenLanguageInAlignedColumns_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("description");
        QTest::newRow("Chinese") << QString() << QStringLiteral("显示本帮助并退出");
        QTest::newRow("English") << QStringLiteral("en")
                                 << QStringLiteral("Show this help and exit");
    }
    void helpSpeaksTheChosenLanguageInAlignedColumns() {
        QFETCH(QString, language);
        QFETCH(QString, description);
        QTemporaryDir config;
        QFile settings(config.filePath(QStringLiteral("RodOdazuConfig.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[SETUP]\nLANGUAGE=" + language.toUtf8() + "\n");
        settings.close();
        const Run help =
            runProgram({QStringLiteral("--config-dir"), config.path(), QStringLiteral("--help")},
                       withoutDisplay());
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.contains(description), qPrintable(help.out));
        QSet<int> columns;
        for (const QString& line : help.out.split(QLatin1Char('\n'))) {
            if (!line.startsWith(QStringLiteral("  -")))
                continue;
            const qsizetype gap = line.indexOf(QStringLiteral("  "), 2);
            QVERIFY(gap > 0);
            int column = 0;
            for (qsizetype i = 0; i < gap; ++i)
                column += line.at(i).unicode() >= 0x2E80 ? 2 : 1;
            qsizetype start = gap;
            while (line.at(start) == QLatin1Char(' '))
                ++start;
            columns.insert(column + static_cast<int>(start - gap));
        }
        QCOMPARE(columns.size(), 1);
    }

    void mistakesEndWithAMessage() {
        const Run unknown = runProgram({QStringLiteral("--bogus")}, withoutDisplay());
        QCOMPARE(unknown.exitCode, 2);
        QVERIFY(unknown.err.contains(QStringLiteral("bogus")));
        QCOMPARE(unknown.out, QString());
    }

    void withoutADisplayOneLineAndFailure() {
        QTemporaryDir config;
        const Run run =
            runProgram({QStringLiteral("--config-dir"), config.path()}, withoutDisplay());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("无图形界面:请设置 DISPLAY 或 WAYLAND_DISPLAY\n"));
        // It ended before touching the folder.
        QVERIFY(QDir(config.path()).isEmpty());
    }

    // --import and --export need no display, and work beside a running copy
    // on the same folder: an import is one transaction of the catalogue.
    void importAndExportWithoutAWindow_data() {
        QTest::addColumn<QStringList>("arguments"); // FILE stands for the file below
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("servers");
        const QByteArray good("DisplayName,IPAddress,Port\r\na,127.0.0.1,80\r\nb,::1,22\r\n");
        QTest::newRow("import") << QStringList{"--import", "FILE"} << good << false << 0
                                << "已添加 2 个服务器\n"
                                << QString() << 2;
        QTest::newRow("import beside a running copy")
            << QStringList{"--import", "FILE"} << good << true << 0 << "已添加 2 个服务器\n"
            << QString() << 2;
        QTest::newRow("some rows refused")
            << QStringList{"--import", "FILE"} << good + ",h,80\r\nc,h,0\r\n"
            << false << 1 << "已添加 2 个服务器\n"
            << "FILE:第 4 行未导入:服务器名称不能为空！\n"
               "FILE:第 5 行未导入:目标端口必须是 1 到 65535 之间的整数！\n"
            << 2;
        QTest::newRow("unreadable") << QStringList{"--import", "FILE"} << good + "\"" << false << 2
                                    << QString() << "没有导入任何服务器:第 4 行:引号没有结束\n"
                                    << 0;
        QTest::newRow("export") << QStringList{"--export", "FILE"} << QByteArray() << false << 0
                                << "已导出 0 个服务器\n"
                                << QString() << 0;
        QTest::newRow("both") << QStringList{"--import", "FILE", "--export", "FILE"} << good
                              << false << 2 << QString() << "--import 和 --export 不能同时使用\n"
                              << 0;
    }
    void importAndExportWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, file);
        QFETCH(bool, running);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, servers);
        QTemporaryDir config;
        const AppPaths paths =
            AppPaths::decide(QCoreApplication::applicationDirPath(), {false, config.path()});
        const QString path = config.filePath(QStringLiteral("servers.csv"));
        QFile data(path);
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(file);
        data.close();
        QProcess first;
        if (running) {
            QVERIFY(paths.createFolders());
            first.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--hold-instance"), paths.instanceLockFile()});
            QTRY_VERIFY_WITH_TIMEOUT(first.canReadLine(), ProcessWaitMs);
        }
        arguments.replaceInStrings(QStringLiteral("FILE"), path);
        const Run run =
            runProgram(arguments + QStringList{QStringLiteral("--config-dir"), config.path()},
                       withoutDisplay());
        first.kill();
        first.waitForFinished(ProcessWaitMs);
        QCOMPARE(run.err, err.replace(QStringLiteral("FILE"), path));
        QCOMPARE(run.out, out);
        QCOMPARE(run.exitCode, exitCode);
        if (arguments.first() == QLatin1String("--export")) {
            QVERIFY(data.open(QIODevice::ReadOnly));
            QCOMPARE(data.readAll(),
                     QByteArray("DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,"
                                "WarnMs,CheckKind,Transport,TlsName,TlsIgnoreErrors,CertWarnDays,"
                                "CertNotified,Url,HttpMethod,HttpHeaders,HttpStatus,HttpRedirects,"
                                "JsonCondition,ParentID,Locations,Revision,ID\r\n"));
        }
        ModuleDB::setDbPath(paths.catalogueFile());
        if (QFileInfo::exists(paths.catalogueFile()) && ModuleDB::DbOpen()) {
            QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(),
                     servers);
            ModuleDB::DbClose();
        } else {
            QCOMPARE(servers, 0);
        }
    }

    // A second start on a folder in use asks the running copy to show its
    // window and ends; another folder is no concern of it.
    void aSecondStartShowsTheFirstAndEnds() {
        QTemporaryDir config;
        const QString lock =
            AppPaths::decide(QCoreApplication::applicationDirPath(), {false, config.path()})
                .instanceLockFile();
        QProcess first;
        first.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--hold-instance"), lock});
        QTRY_VERIFY_WITH_TIMEOUT(first.canReadLine(), ProcessWaitMs);
        QCOMPARE(first.readLine(), QByteArray("claimed\n"));

        QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
        offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const Run second = runProgram({QStringLiteral("--config-dir"), config.path()}, offscreen);
        QCOMPARE(second.exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(first.canReadLine(), ProcessWaitMs);
        QCOMPARE(first.readLine(), QByteArray("shown\n"));
        // The second start made nothing of its own there.
        QVERIFY(!QFileInfo::exists(config.filePath(QStringLiteral("ServerList.db"))));
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        QVERIFY(first.waitForFinished(ProcessWaitMs));
    }
};

int main(int argc, char* argv[]) {
    if (argc == 3 && qstrcmp(argv[1], "--hold-instance") == 0)
        return holdInstance(argc, argv);
    QApplication app(argc, argv);
    TestCommandLine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commandline.moc"
