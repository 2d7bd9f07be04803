#include "ProgramRuns.h"

#include <QScopeGuard>
#include <QTest>

#include <QDeadlineTimer>
#include <QSysInfo>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ProgramRuns;

namespace {

// A folder whose one server changes state on every pass (a correct reply,
// then a wrong one), one pass a second, so the service logs a line each second.
struct BusyFolder {
    LoopbackPeer peer{{QByteArrayLiteral("220 ready\r\n"), QByteArrayLiteral("500 no\r\n")}};
    DataFolder folder;

    BusyFolder() {
        folder.addServer(QStringLiteral("flapping"), peer.port(), QStringLiteral("220"));
        folder.writeSettings("[SETTING]\nITIMERN=1\n[SETUP]\nITIMEOUT=500\n");
    }
    QStringList arguments() const { return {QStringLiteral("--config-dir"), folder.path()}; }
};

// Where the descriptor of the process leads.
QString descriptorTarget(qint64 pid, int descriptor) {
    return QFileInfo(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(descriptor)).symLinkTarget();
}

// The first line from the descriptor, read within the usual wait.
QByteArray firstLine(int descriptor) {
    QByteArray line;
    QDeadlineTimer deadline(WaitMs);
    while (!line.endsWith('\n') && !deadline.hasExpired()) {
        pollfd readable{descriptor, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(deadline.remainingTime())) != 1)
            break;
        char byte = 0;
        if (::read(descriptor, &byte, 1) != 1)
            break;
        line.append(byte);
    }
    return line;
}

} // namespace

class TestHeadlessProcess final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFileInfo(headlessProgram()).isExecutable()); }

    // servermon-headless | head -n 1: the reader goes away after the first
    // line; the lines after it are dropped and monitoring goes on.
    void aReaderThatGoesAwayStopsNothing() {
        BusyFolder busy;
        // The standard output is a pipe of the test's own, so its reading
        // end can be closed.
        int ends[2] = {-1, -1};
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        QProcess service;
        service.setProcessEnvironment(withoutDesktop());
        service.setChildProcessModifier([&ends] { ::dup2(ends[1], STDOUT_FILENO); });
        service.start(headlessProgram(), busy.arguments());
        ::close(ends[1]);
        const auto ending = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(WaitMs);
        });
        QVERIFY(firstLine(ends[0]).contains("\tstart\t"));
        ::close(ends[0]);
        const int answered = busy.peer.answered();
        QTRY_VERIFY_WITH_TIMEOUT(busy.peer.answered() >= answered + 3, WaitMs);
        QCOMPARE(service.state(), QProcess::Running);
        QVERIFY(endWith(service, SIGTERM));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
    }

    // A hang-up (the terminal closed) ends the service as SIGTERM does: the
    // last line is written and the history closed.
    void aHangUpEndsCleanly() {
        BusyFolder busy;
        QProcess service;
        service.setProcessEnvironment(withoutDesktop());
        service.start(headlessProgram(), busy.arguments());
        const auto ending = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(WaitMs);
        });
        QTRY_VERIFY_WITH_TIMEOUT(busy.peer.answered() >= 1, WaitMs);
        QVERIFY(endWith(service, SIGHUP));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        const QByteArray log = service.readAllStandardOutput();
        QVERIFY2(log.endsWith("\tstop\n"), log.constData());
        QVERIFY(!QFileInfo::exists(busy.folder.file(QStringLiteral("History.db-wal"))));
        QVERIFY(busy.folder.historyResults() >= 1);
    }

    // Started with its standard descriptors closed, the service finds
    // /dev/null there: no file it opens becomes its output and takes the log.
    void closedStandardDescriptorsLeadNowhere_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("servermon-headless") << headlessProgram() << QStringList();
        QTest::newRow("servermon --headless")
            << windowProgram() << QStringList{QStringLiteral("--headless")};
    }
    void closedStandardDescriptorsLeadNowhere() {
        QFETCH(QString, program);
        QFETCH(QStringList, options);
        BusyFolder busy;
        QProcess service;
        service.setProcessEnvironment(withoutDesktop());
        service.setChildProcessModifier([] {
            ::close(STDIN_FILENO);
            ::close(STDOUT_FILENO);
            ::close(STDERR_FILENO);
        });
        service.start(program, options + busy.arguments());
        const auto ending = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(WaitMs);
        });
        QTRY_VERIFY_WITH_TIMEOUT(busy.peer.answered() >= 3, WaitMs);
        for (int descriptor = 0; descriptor <= 2; ++descriptor)
            QCOMPARE(descriptorTarget(service.processId(), descriptor),
                     QStringLiteral("/dev/null"));
        QVERIFY(endWith(service, SIGTERM));
        QCOMPARE(service.exitCode(), 0);
        const QDir folder(busy.folder.path());
        for (const QString& name : folder.entryList(QDir::Files))
            QVERIFY2(!busy.folder.read(name).contains("\tstop"), qPrintable(name));
    }

    // Where the lock file cannot be made (a read-only folder) the service
    // does not run unguarded: it names the lock file and the reason and ends
    // with status 1. It could not keep its catalogue there either.
    void aFolderThatCannotBeLockedRefusesTheStart() {
        QTemporaryDir parent;
        const QString folder = readOnlyFolderIn(parent);
        QVERIFY(QFileInfo(folder).isDir());
        QProcess service;
        service.setProcessEnvironment(withoutDesktop());
        service.setChildProcessModifier([] { runAsUser(Nobody); });
        service.start(headlessProgram(), {QStringLiteral("--config-dir"), folder});
        const auto ending = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(WaitMs);
        });
        QVERIFY(service.waitForFinished(WaitMs));
        QCOMPARE(service.exitCode(), 1);
        const QString error = QString::fromUtf8(service.readAllStandardError());
        QVERIFY2(error.contains(QStringLiteral("servermon 没有启动:无法锁定锁文件 ") + folder +
                                QStringLiteral("/servermon.lock(")),
                 qPrintable(error));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/ServerList.db")));
    }

    // A shared folder (everyone writes, only owners remove) holds a lock file
    // left by another user's copy that ended: nobody holds it, so a third
    // user's start goes ahead.
    void aLeftoverLockOfAnotherUserDoesNotBlock() {
        if (::geteuid() != 0)
            QSKIP("needs root: the lock file must belong to one user (nobody) and the service "
                  "run as another (daemon)");
        QTemporaryDir parent;
        setMode(parent.path(), 0755);
        const QString folder = parent.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(folder));
        setMode(folder, 01777);
        const QString lock = folder + QStringLiteral("/servermon.lock");
        {
            // A process ID no process can have, this machine, this program.
            QFile maximum(QStringLiteral("/proc/sys/kernel/pid_max"));
            QVERIFY(maximum.open(QIODevice::ReadOnly));
            QFile file(lock);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(maximum.readAll().trimmed() + "\nservermon\n" +
                       QSysInfo::machineHostName().toUtf8() + '\n');
        }
        QCOMPARE(::chown(QFile::encodeName(lock).constData(), Nobody, Nobody), 0);
        setMode(lock, 0644);
        QProcess service;
        service.setProcessEnvironment(withoutDesktop());
        service.setChildProcessModifier([] { runAsUser(Daemon); });
        service.start(headlessProgram(), {QStringLiteral("--config-dir"), folder});
        const auto ending = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(WaitMs);
        });
        QTRY_VERIFY_WITH_TIMEOUT(service.canReadLine() || service.state() == QProcess::NotRunning,
                                 WaitMs);
        QVERIFY2(service.readLine().contains("\tstart\t"), service.readAllStandardError());
        QVERIFY(endWith(service, SIGTERM));
        QCOMPARE(service.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHeadlessProcess)
#include "tst_headlessprocess.moc"
