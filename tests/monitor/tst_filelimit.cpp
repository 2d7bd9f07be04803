#include "FakeClock.h"
#include "FakeEcho.h"
#include "RecordingAlerts.h"

#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "platform/FileLimit.h"

#include <QDir>
#include <QTcpServer>
#include <QTest>
#include <sys/resource.h>

using Col = ServerRowModel::Column;

// Rows beyond the open-file limit must fail visibly in their own row, never
// stall as "connecting" or take the program down.
class TestFileLimit final : public QObject {
    Q_OBJECT
private slots:
    void raisesSoftLimitToHardLimit() {
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
        QCOMPARE(FileLimit::raiseToHardLimit(), static_cast<long>(limit.rlim_max));
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
        QCOMPARE(limit.rlim_cur, limit.rlim_max);
    }

    void rowsBeyondTheLimitShowASocketError() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QList<ServerRecord> records;
        for (int id = 1; id <= 40; ++id)
            records.append({id,
                            QStringLiteral("s%1").arg(id),
                            QStringLiteral("127.0.0.1"),
                            QString::number(server.serverPort()),
                            QStringLiteral("GET"),
                            QStringLiteral("OK"),
                            {},
                            true});
        ServerRowModel rows;
        rows.resetRows(records);
        MonitorSettings settings;
        FakeClock clock;
        FakeEcho echo;
        RecordingAlerts alerts;
        ServerMonitor monitor(rows, rows, settings, clock, echo, alerts);

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const auto openNow = static_cast<rlim_t>(QDir(QStringLiteral("/proc/self/fd")).count());
        rlimit tight = saved;
        tight.rlim_cur = openNow + 6;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
        monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.isPassRunning(), 10000);
        const auto stillConnecting = [&rows] {
            for (int row = 0; row < rows.rowCount(); ++row)
                if (rows.text(row, Col::Status) == QStringLiteral("正在尝试连接服务器"))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(!stillConnecting(), 10000);
        setrlimit(RLIMIT_NOFILE, &saved);

        int failed = 0;
        for (int row = 0; row < rows.rowCount(); ++row) {
            if (rows.text(row, Col::Status).startsWith(QStringLiteral("SOCKET错误:"))) {
                QCOMPARE(rows.tag(row, Col::ReplyErr), QStringLiteral("1"));
                ++failed;
            }
        }
        QVERIFY2(failed > 0, "rows beyond the limit must report an error");
        QVERIFY(monitor.socketFaultCount() >= failed);
    }
};

QTEST_GUILESS_MAIN(TestFileLimit)
#include "tst_filelimit.moc"
