#include "FakeProcessStarter.h"
#include "RecordingUrlOpener.h"
#include "platform/PathSysInfoLocator.h"
#include "platform/SystemProcessStarter.h"
#include "shell/ConsoleLauncher.h"
#include "shell/ModuleHTTP.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLaunchers final : public QObject {
    Q_OBJECT
private slots:
    void commandLines_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("ping");
        QTest::addColumn<QStringList>("telnet");
        const QString ping = QStringLiteral("ping");
        const QString telnet = QStringLiteral("telnet");
        QTest::newRow("address and port") << "192.168.1.10"
                                          << "80" << QStringList{ping, "192.168.1.10"}
                                          << QStringList{telnet, "192.168.1.10", "80"};
        QTest::newRow("host name unchanged") << "Mail.Example.org"
                                             << "25" << QStringList{ping, "Mail.Example.org"}
                                             << QStringList{telnet, "Mail.Example.org", "25"};
        QTest::newRow("shell characters stay one argument")
            << "a;touch x"
            << "80 $(id)" << QStringList{ping, "a;touch x"}
            << QStringList{telnet, "a;touch x", "80 $(id)"};
        QTest::newRow("address read as an option") << "-f"
                                                   << "80" << QStringList{} << QStringList{};
        QTest::newRow("port read as an option")
            << "10.0.0.1"
            << "-l" << QStringList{ping, "10.0.0.1"} << QStringList{};
        QTest::newRow("no address") << ""
                                    << "80" << QStringList{} << QStringList{};
    }
    void commandLines() {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QStringList, ping);
        QFETCH(QStringList, telnet);
        QCOMPARE(ConsoleLauncher::pingCommand(address), ping);
        QCOMPARE(ConsoleLauncher::telnetCommand(address, port), telnet);
    }

    void terminalArguments_data() {
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<QStringList>("prefix");
        QTest::newRow("debian alternative") << "/usr/bin/x-terminal-emulator" << QStringList{"-e"};
        QTest::newRow("xterm") << "/usr/bin/xterm" << QStringList{"-e"};
        QTest::newRow("gnome") << "/usr/bin/gnome-terminal" << QStringList{"--"};
        QTest::newRow("xfce") << "/usr/bin/xfce4-terminal" << QStringList{"-x"};
        QTest::newRow("kitty") << "/usr/bin/kitty" << QStringList{};
        QTest::newRow("unknown") << "/opt/bin/myterm" << QStringList{"-e"};
    }
    void terminalArguments() {
        QFETCH(QString, terminal);
        QFETCH(QStringList, prefix);
        const QStringList command{"/usr/bin/ping", "host"};
        QCOMPARE(ConsoleLauncher::terminalArguments(terminal, command), prefix + command);
    }

    void launcher_data() {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("terminalEnv");
        QTest::addColumn<bool>("telnet");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expectedProgram");
        QTest::addColumn<QStringList>("expectedArguments");
        const QStringList all{"ping", "telnet", "xterm", "x-terminal-emulator", "kitty"};
        QTest::newRow("terminal from the environment")
            << all << "kitty" << false << "db1"
            << "/usr/bin/kitty" << QStringList{"/usr/bin/ping", "db1"};
        QTest::newRow("environment terminal missing")
            << all << "nosuchterm" << true << "db1"
            << "/usr/bin/x-terminal-emulator" << QStringList{"-e", "/usr/bin/telnet", "db1", "23"};
        QTest::newRow("common terminal")
            << QStringList{"ping", "xterm"} << "" << false << "db1"
            << "/usr/bin/xterm" << QStringList{"-e", "/usr/bin/ping", "db1"};
        QTest::newRow("no terminal") << QStringList{"ping", "telnet"} << "" << false << "db1"
                                     << "" << QStringList{};
        QTest::newRow("no telnet") << QStringList{"ping", "xterm"} << "" << true << "db1"
                                   << "" << QStringList{};
        QTest::newRow("no row selected") << all << "" << false << ""
                                         << "" << QStringList{};
        QTest::newRow("option as address") << all << "" << true << "-c"
                                           << "" << QStringList{};
    }
    void launcher() {
        QFETCH(QStringList, installed);
        QFETCH(QString, terminalEnv);
        QFETCH(bool, telnet);
        QFETCH(QString, address);
        QFETCH(QString, expectedProgram);
        QFETCH(QStringList, expectedArguments);
        FakeProcessStarter starter;
        starter.installed = QSet<QString>(installed.begin(), installed.end());
        ConsoleLauncher launcher(starter, terminalEnv);
        const bool started = telnet ? launcher.startTelnet(address, QStringLiteral("23"))
                                    : launcher.startPing(address);
        QCOMPARE(started, !expectedProgram.isEmpty());
        if (expectedProgram.isEmpty()) {
            QVERIFY(starter.starts.isEmpty());
            return;
        }
        QCOMPARE(starter.starts.size(), 1);
        QCOMPARE(starter.starts.first().program, expectedProgram);
        QCOMPARE(starter.starts.first().arguments, expectedArguments);
    }

    void sysInfoLocator_data() {
        QTest::addColumn<QStringList>("executables");
        QTest::addColumn<QStringList>("plainFiles");
        QTest::addColumn<QString>("expected");
        const QStringList names = PathSysInfoLocator::candidates();
        QTest::newRow("none") << QStringList{} << QStringList{} << QString();
        QTest::newRow("a later one") << QStringList{names.last()} << QStringList{} << names.last();
        QTest::newRow("first preferred")
            << QStringList{names.at(1), names.first()} << QStringList{} << names.first();
        QTest::newRow("not executable skipped")
            << QStringList{names.at(2)} << QStringList{names.first()} << names.at(2);
    }
    void sysInfoLocator() {
        QFETCH(QStringList, executables);
        QFETCH(QStringList, plainFiles);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const auto create = [&](const QString& name, bool executable) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (executable)
                file.setPermissions(file.permissions() | QFile::ExeOwner);
        };
        for (const QString& name : executables)
            create(name, true);
        for (const QString& name : plainFiles)
            create(name, false);
        const PathSysInfoLocator locator({dir.path()});
        QCOMPARE(locator.locate(), expected.isEmpty() ? QString() : dir.filePath(expected));
    }

    void systemStarterReportsMissingPrograms() {
        SystemProcessStarter starter;
        QVERIFY(starter.findExecutable(QStringLiteral("no-such-program-here")).isEmpty());
        QVERIFY(starter.findExecutable(QString()).isEmpty());
        QVERIFY(!starter.startDetached(QStringLiteral("/nonexistent/program"), {}));
    }

    void webAddresses() {
        QCOMPARE(ModuleHTTP::HelpUrl().toString(),
                 QStringLiteral("https://www.example.com/?MyProject=ZodevuViruz"));
        QCOMPARE(ModuleHTTP::UpdateCheckUrl().toString(),
                 QStringLiteral("https://www.example.com/?AppName=TesselwickZodevuViruz"));
        QCOMPARE(ModuleHTTP::AnnouncementUrl().toString(),
                 QStringLiteral("https://www.example.com/ads/ads.asp"));
    }

    void openUrl_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opened");
        QTest::newRow("https") << "https://www.example.com/?MyProject=ZodevuViruz" << true;
        QTest::newRow("http upper case") << "HTTP://www.example.com/x" << true;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("no host") << "http://" << false;
        QTest::newRow("empty") << "" << false;
    }
    void openUrl() {
        QFETCH(QString, address);
        QFETCH(bool, opened);
        RecordingUrlOpener recorder;
        ModuleHTTP::setUrlOpener(&recorder);
        ModuleHTTP::OpenUrl(address);
        ModuleHTTP::setUrlOpener(nullptr);
        QCOMPARE(recorder.opened.size(), opened ? 1 : 0);
        if (opened)
            QCOMPARE(recorder.opened.first(), QUrl(address));
    }
};

QTEST_MAIN(TestLaunchers)
#include "tst_launchers.moc"
