#include "ProgramRuns.h"
#include "WindowProgramHost.h"

#include <QApplication>
#include <QScopeGuard>

#include <algorithm>
#include <csignal>

using namespace ProgramRuns;

class TestWindowProgram final : public QObject {
    Q_OBJECT
private slots:
    // A signal moments after a result: the exit path runs as for "退出系统",
    // so the result reaches the history, the history is closed (no -wal
    // left), the layout is stored and the folder is free again.
    void aTerminationSignalKeepsTheLastResult_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void aTerminationSignalKeepsTheLastResult() {
        QFETCH(int, signalNumber);
        LoopbackPeer peer({QByteArrayLiteral("220 ready\r\n")});
        DataFolder folder;
        folder.addServer(QStringLiteral("web"), peer.port(), QStringLiteral("220"));
        QProcess program;
        program.setProcessEnvironment(offscreen());
        program.start(QCoreApplication::applicationFilePath(),
                      WindowProgramHost::arguments({QStringLiteral("--start-monitoring")}, folder));
        const auto ending = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(WaitMs);
        });
        // The prober closes the connection once it has the answer.
        QTRY_VERIFY_WITH_TIMEOUT(peer.closed() >= 1, WaitMs);
        QVERIFY(endWith(program, signalNumber));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("History.db-wal"))));
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("servermon.lock"))));
        QVERIFY(folder.read(QStringLiteral("RodOdazuConfig.ini")).contains("LSTRESULT1="));
        QVERIFY(folder.historyResults() >= 1);
    }

    // A signal while the program starts (its files are there, the main
    // window not yet shown) ends it as cleanly.
    void aSignalDuringTheStartEndsCleanly() {
        DataFolder folder;
        QProcess program;
        program.setProcessEnvironment(offscreen());
        program.start(QCoreApplication::applicationFilePath(),
                      WindowProgramHost::arguments({}, folder));
        const auto ending = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(WaitMs);
        });
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.file(QStringLiteral("History.db-wal"))),
                                 WaitMs);
        QVERIFY(endWith(program, SIGTERM));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("History.db-wal"))));
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("servermon.lock"))));
    }

    // With the headless service on the folder, a window start has no window
    // to show: it says so in a box, with how to stop the service, and ends
    // with status 1. The service runs on.
    void aStartBesideTheHeadlessServiceSaysSo() {
        DataFolder folder;
        QProcess service;
        service.setProcessEnvironment(withoutDesktop());
        service.start(headlessProgram(), {QStringLiteral("--config-dir"), folder.path()});
        const auto endService = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(WaitMs);
        });
        // Its first log line: it holds the folder.
        QTRY_VERIFY_WITH_TIMEOUT(service.canReadLine(), WaitMs);
        QProcess program;
        program.setProcessEnvironment(offscreen());
        program.start(QCoreApplication::applicationFilePath(),
                      WindowProgramHost::arguments({QStringLiteral("--record-boxes")}, folder));
        const auto endProgram = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(WaitMs);
        });
        QVERIFY(program.waitForFinished(WaitMs));
        QCOMPARE(program.exitCode(), 1);
        const QString error = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(error.endsWith(QStringLiteral("servermon 已在运行,数据文件夹:") + folder.path() +
                                QLatin1Char('\n')),
                 qPrintable(error));
        QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()),
                 QStringLiteral("box\tservermon 已在运行\t后台监控服务(servermon --headless)"
                                "正在使用数据文件夹:\\n") +
                     folder.path() +
                     QStringLiteral("\\n\\n如需打开窗口,请先停止该服务:\\n"
                                    "systemctl --user stop servermon\n"));
        QCOMPARE(service.state(), QProcess::Running);
    }

    // Where the folder's lock cannot be made (a read-only folder), the
    // window program says why in a box as well, since a start from the
    // desktop has no terminal, and ends with status 1.
    void aFolderThatCannotBeLockedRefusesTheStart() {
        QTemporaryDir parent;
        const QString folder = readOnlyFolderIn(parent);
        QVERIFY(QFileInfo(folder).isDir());
        QProcess program;
        program.setProcessEnvironment(offscreen());
        program.setChildProcessModifier([] { runAsUser(Nobody); });
        program.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--window-program"), QStringLiteral("--record-boxes"),
                       QStringLiteral("--config-dir"), folder});
        const auto ending = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(WaitMs);
        });
        QVERIFY(program.waitForFinished(WaitMs));
        QCOMPARE(program.exitCode(), 1);
        const QString refusal = QStringLiteral("servermon 没有启动:无法锁定锁文件 ") + folder +
                                QStringLiteral("/servermon.lock(");
        QVERIFY(QString::fromUtf8(program.readAllStandardError()).contains(refusal));
        const QString boxes = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(boxes.contains(QStringLiteral("box\t无法启动\t") + refusal), qPrintable(boxes));
    }

    // Under the usual umask 022 both programs make their folders and files
    // for their user alone: the catalogue, the history with its -wal and
    // -shm while open, the lock, and the settings file.
    void newFilesAreTheOwnersAlone_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("window");
        QTest::newRow("servermon") << windowProgram() << true;
        QTest::newRow("servermon-headless") << headlessProgram() << false;
    }
    void newFilesAreTheOwnersAlone() {
        QFETCH(QString, program);
        QFETCH(bool, window);
        const mode_t previous = ::umask(022);
        const auto restoreUmask = qScopeGuard([previous] { ::umask(previous); });
        QTemporaryDir parent;
        const QDir folder(parent.filePath(QStringLiteral("new/servermon")));
        QProcess started;
        started.setProcessEnvironment(window ? offscreen() : withoutDesktop());
        started.start(program, {QStringLiteral("--config-dir"), folder.path()});
        const auto ending = qScopeGuard([&started] {
            started.kill();
            started.waitForFinished(WaitMs);
        });
        const QStringList whileOpen = {"ServerList.db", "History.db", "History.db-wal",
                                       "History.db-shm", "servermon.lock"};
        const auto allThere = [&] {
            return std::all_of(whileOpen.cbegin(), whileOpen.cend(),
                               [&](const QString& name) { return folder.exists(name); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(allThere(), WaitMs);
        for (const QString& name : whileOpen)
            QVERIFY2(modeOf(folder.filePath(name)) == QLatin1String("600"),
                     qPrintable(name + QLatin1Char(' ') + modeOf(folder.filePath(name))));
        QVERIFY(endWith(started, SIGTERM));
        QCOMPARE(started.exitCode(), 0);
        QCOMPARE(modeOf(folder.filePath(QStringLiteral("RodOdazuConfig.ini"))),
                 QStringLiteral("600"));
        QCOMPARE(modeOf(folder.path()), QStringLiteral("700"));
        QCOMPARE(modeOf(parent.filePath(QStringLiteral("new"))), QStringLiteral("700"));
    }
};

int main(int argc, char* argv[]) {
    if (WindowProgramHost::requested(argc, argv))
        return WindowProgramHost::run(argc, argv);
    QApplication app(argc, argv);
    TestWindowProgram test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowprogram.moc"
