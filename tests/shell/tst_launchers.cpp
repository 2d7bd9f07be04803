#include "FakeProcessStarter.h"
#include "RecordingUrlOpener.h"
#include "platform/PathSysInfoLocator.h"
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
        QTest::newRow("address and port") << "192.168.1.10"
                                          << "80" << QStringList{"ping", "192.168.1.10"}
                                          << QStringList{"telnet", "192.168.1.10", "80"};
        QTest::newRow("host name, shell characters stay one argument")
            << "Mail.Example.org;id"
            << "25 $(id)" << QStringList{"ping", "Mail.Example.org;id"}
            << QStringList{"telnet", "Mail.Example.org;id", "25 $(id)"};
        QTest::newRow("address read as an option") << "-f"
                                                   << "80" << QStringList{} << QStringList{};
        QTest::newRow("port read as an option")
            << "10.0.0.1"
            << "-l" << QStringList{"ping", "10.0.0.1"} << QStringList{};
        QTest::newRow("no address") << ""
                                    << "80" << QStringList{} << QStringList{};
        QTest::newRow("IPv6 literal") << "2001:db8::1"
                                      << "80" << QStringList{"ping", "2001:db8::1"}
                                      << QStringList{"telnet", "2001:db8::1", "80"};
        QTest::newRow("IPv6 literal in brackets")
            << "[::1]"
            << "23" << QStringList{"ping", "::1"} << QStringList{"telnet", "::1", "23"};
        QTest::newRow("brackets around no address")
            << "[-f]"
            << "23" << QStringList{"ping", "[-f]"} << QStringList{"telnet", "[-f]", "23"};
    }
    void commandLines() {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QStringList, ping);
        QFETCH(QStringList, telnet);
        QCOMPARE(ConsoleLauncher::pingCommand(address), ping);
        QCOMPARE(ConsoleLauncher::telnetCommand(address, port), telnet);
    }

    void launcher_data() {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("terminalEnv");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("started"); // terminal, then its arguments
        const QStringList all{"ping", "telnet", "xterm", "x-terminal-emulator", "kitty"};
        QTest::newRow("terminal from the environment")
            << all << "kitty"
            << "db1" << QStringList{"/usr/bin/kitty", "/usr/bin/telnet", "db1", "23"};
        QTest::newRow("environment terminal missing")
            << all << "nosuchterm"
            << "db1"
            << QStringList{"/usr/bin/x-terminal-emulator", "-e", "/usr/bin/telnet", "db1", "23"};
        QTest::newRow("common terminal")
            << QStringList{"telnet", "gnome-terminal"} << ""
            << "db1"
            << QStringList{"/usr/bin/gnome-terminal", "--", "/usr/bin/telnet", "db1", "23"};
        QTest::newRow("no terminal") << QStringList{"telnet"} << ""
                                     << "db1" << QStringList{};
        QTest::newRow("no telnet") << QStringList{"ping", "xterm"} << ""
                                   << "db1" << QStringList{};
        QTest::newRow("no row selected") << all << ""
                                         << "" << QStringList{};
        QTest::newRow("option as address") << all << ""
                                           << "-c" << QStringList{};
    }
    void launcher() {
        QFETCH(QStringList, installed);
        QFETCH(QString, terminalEnv);
        QFETCH(QString, address);
        QFETCH(QStringList, started);
        FakeProcessStarter starter;
        starter.installed = QSet<QString>(installed.begin(), installed.end());
        ConsoleLauncher launcher(starter, terminalEnv);
        QCOMPARE(launcher.startTelnet(address, QStringLiteral("23")), !started.isEmpty());
        QStringList recorded;
        for (const auto& start : std::as_const(starter.starts))
            recorded << start.program << start.arguments;
        QCOMPARE(recorded, started);
    }

    void sysInfoLocator_data() {
        QTest::addColumn<QStringList>("executables");
        QTest::addColumn<QString>("plainFile");
        QTest::addColumn<QString>("expected");
        const QStringList names = PathSysInfoLocator::candidates();
        QTest::newRow("none") << QStringList{} << QString() << QString();
        QTest::newRow("first preferred")
            << QStringList{names.last(), names.first()} << QString() << names.first();
        QTest::newRow("not executable skipped")
            << QStringList{names.last()} << names.first() << names.last();
    }
    void sysInfoLocator() {
        QFETCH(QStringList, executables);
        QFETCH(QString, plainFile);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString& name : executables + QStringList{plainFile}) {
            QFile file(dir.filePath(name.isEmpty() ? QStringLiteral("other") : name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (name != plainFile)
                file.setPermissions(file.permissions() | QFile::ExeOwner);
        }
        const PathSysInfoLocator locator({dir.path()});
        QCOMPARE(locator.locate(), expected.isEmpty() ? QString() : dir.filePath(expected));
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
        QTest::newRow("help") << ModuleHTTP::HelpUrl().toString() << true;
        QTest::newRow("http upper case") << "HTTP://www.example.com/x" << true;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("no host") << "http://" << false;
    }
    void openUrl() {
        QFETCH(QString, address);
        QFETCH(bool, opened);
        RecordingUrlOpener recorder;
        ModuleHTTP::setUrlOpener(&recorder);
        ModuleHTTP::OpenUrl(address);
        ModuleHTTP::setUrlOpener(nullptr);
        QCOMPARE(recorder.opened, opened ? QList<QUrl>{QUrl(address)} : QList<QUrl>{});
    }
};

QTEST_MAIN(TestLaunchers)
#include "tst_launchers.moc"
