#include "FakeClock.h"
#include "FakeEcho.h"
#include "FakeRecorder.h"
#include "RecordingAlerts.h"

#include "monitor/MaintenanceWindow.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerDependencies.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"

#include <QSortFilterProxyModel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using Col = ServerRowModel::Column;

namespace {

const QString kSocketTitle = QStringLiteral("注意:服务器测试返回异常");
const QString kFlapTitle = QStringLiteral("注意:服务器状态频繁变化");
constexpr qint64 kMinuteMs = 60 * 1000;

// A loopback server answering "OK" or, when down, "DOWN" (a wrong reply).
class Peer final : public QObject {
public:
    Peer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* client = m_server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [this, client] {
                client->readAll();
                client->write(down ? "DOWN" : "OK");
            });
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }
    bool down = false;

private:
    QTcpServer m_server;
};

// Servers by name: "A" has ID 1, "B" 2 and so on; parents by name too.
struct Server {
    QString name;
    QString parent;
};

// The monitor among fakes over loopback peers, one per server; the
// socket limit is 3, echoes never alert.
struct Rig {
    explicit Rig(const QList<Server>& servers)
        : monitor{rows, list, settings, clock, echo, alerts} {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.timerProc().setInterval(24 * 3600 * 1000);
        monitor.addRecorder(&recorder);
        QList<ServerRecord> records;
        for (const Server& server : servers) {
            peers.emplace_back(std::make_unique<Peer>());
            ServerRecord record{idOf(server.name),
                                server.name,
                                QStringLiteral("127.0.0.1"),
                                peers.back()->port(),
                                QStringLiteral("Q"),
                                QStringLiteral("OK"),
                                {},
                                true};
            record.parentId = server.parent.isEmpty() ? 0 : idOf(server.parent);
            records.append(record);
        }
        rows.resetRows(records);
    }
    static qint64 idOf(const QString& name) { return name.at(0).unicode() - 'A' + 1; }
    int rowOf(const QString& name) const { return int(idOf(name) - 1); }
    void setDown(const QString& names, bool down = true) {
        for (const QChar name : names)
            peers.at(rowOf(name))->down = down;
    }
    // A whole pass, its replies all judged; a minute passes before it.
    void pass() {
        clock.advance(kMinuteMs);
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY(!monitor.isPassRunning());
        QTRY_COMPARE(monitor.passReplyCount(), rows.rowCount());
        QTRY_VERIFY(!rows.text(rows.rowCount() - 1, Col::Status).startsWith("已发送"));
    }
    void passes(int count) {
        for (int i = 0; i < count; ++i)
            pass();
    }
    // The alerts so far, as "server title", and forgets them.
    QStringList takeAlerts() {
        QStringList taken;
        for (const RecordingAlerts::Alert& alert : std::as_const(alerts.alerts))
            taken << rows.text(int(alert.server.toLongLong() - 1), Col::DisplayName) + ' ' +
                         alert.title;
        alerts.alerts.clear();
        return taken;
    }
    QString shownName(const QString& name) const {
        return rows.index(rowOf(name), Col::DisplayName).data().toString();
    }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 3, 0, false, {}};
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    FakeRecorder recorder;
    ServerMonitor monitor;
    std::vector<std::unique_ptr<Peer>> peers;
};

MaintenanceWindow onceWindow(QList<qint64> servers, qint64 startUtcMs, qint64 endUtcMs) {
    MaintenanceWindow window;
    window.servers = std::move(servers);
    window.startUtcMs = startUtcMs;
    window.endUtcMs = endUtcMs;
    return window;
}

} // namespace

Q_DECLARE_METATYPE(Server)

class TestAlertLogic final : public QObject {
    Q_OBJECT
private slots:
    // Servers going down together for three passes (the limit): who alerts,
    // and the Status each failing child shows. Children may come first in
    // the list: the order within a pass does not decide.
    void dependentsOfAFailingParent_data() {
        QTest::addColumn<QList<Server>>("servers");
        QTest::addColumn<QString>("down");
        QTest::addColumn<QStringList>("alerts");
        QTest::addColumn<QStringList>("statuses"); // of every server, "" when not checked
        using S = QList<Server>;
        const QString more2 = "另有2台下级服务器受影响";
        QTest::newRow("parent down, children silent")
            << S{{"A", "C"}, {"B", "C"}, {"C", {}}} << "ABC" << QStringList{"C " + kSocketTitle}
            << QStringList{"上级服务器故障:C", "上级服务器故障:C", ""};
        QTest::newRow("parent up, child alerts")
            << S{{"A", "B"}, {"B", {}}} << "A" << QStringList{"A " + kSocketTitle}
            << QStringList{"应答包错误：DOWN", "已收到正确的回应包"};
        QTest::newRow("three-level chain")
            << S{{"A", {}}, {"B", "A"}, {"C", "B"}} << "ABC" << QStringList{"A " + kSocketTitle}
            << QStringList{"", "上级服务器故障:A", "上级服务器故障:B"};
        QTest::newRow("chain, middle down")
            << S{{"A", {}}, {"B", "A"}, {"C", "B"}} << "BC" << QStringList{"B " + kSocketTitle}
            << QStringList{"已收到正确的回应包", "", "上级服务器故障:B"};
        QTest::newRow("parent not failing yet")
            << S{{"A", {}}, {"B", "A"}} << "B" << QStringList{"B " + kSocketTitle}
            << QStringList{"已收到正确的回应包", "应答包错误：DOWN"};
    }
    void dependentsOfAFailingParent() {
        QFETCH(QList<Server>, servers);
        QFETCH(QString, down);
        QFETCH(QStringList, alerts);
        QFETCH(QStringList, statuses);
        Rig rig(servers);
        rig.setDown(down);
        rig.passes(3);
        QCOMPARE(rig.takeAlerts(), alerts);
        for (int row = 0; row < statuses.size(); ++row) {
            if (!statuses.at(row).isEmpty())
                QCOMPARE(rig.rows.text(row, Col::Status), statuses.at(row));
        }
        // Faults are counted and painted all the same.
        for (const QChar name : down) {
            QCOMPARE(rig.rows.text(rig.rowOf(name), Col::ReplyErr), QStringLiteral("3"));
            QCOMPARE(rig.rows.rowColour(rig.rowOf(name)), RowColour(255, 0, 0));
        }
        rig.passes(2);
        QCOMPARE(rig.takeAlerts(), QStringList());
    }

    // A row added to the list, or replaced, with a parent depends on it from
    // the next pass on, as a loaded one does.
    void dependencyOfAnAddedOrReplacedRow_data() {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("added") << false;
        QTest::newRow("replaced") << true;
    }
    void dependencyOfAnAddedOrReplacedRow() {
        QFETCH(bool, replaced);
        Rig rig({{"A", {}}, {"B", {}}});
        ServerRecord child{Rig::idOf("B"),
                           "B",
                           QStringLiteral("127.0.0.1"),
                           rig.peers.at(1)->port(),
                           "Q",
                           "OK",
                           {},
                           true};
        child.parentId = Rig::idOf("A");
        if (!replaced)
            rig.rows.removeRowAt(1);
        rig.pass();
        if (replaced)
            rig.rows.replaceRow(1, child);
        else
            rig.rows.appendRows({child});
        rig.setDown("AB");
        rig.passes(3);
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle});
        QCOMPARE(rig.rows.text(1, Col::Status), QStringLiteral("上级服务器故障:A"));
    }

    void parentAlertCountsItsDescendants() {
        Rig rig({{"A", {}}, {"B", "A"}, {"C", "B"}, {"D", {}}});
        rig.setDown("A");
        rig.passes(3);
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QVERIFY(rig.alerts.alerts.at(0).text.endsWith("\r\n另有2台下级服务器受影响"));
    }

    // Once the parent is back, a child still failing alerts after three
    // faults of its own, counted from the parent's recovery.
    void childAlertsAnewAfterParentRecovers() {
        Rig rig({{"A", {}}, {"B", "A"}});
        rig.setDown("AB");
        rig.passes(4);
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle});
        const auto unreachable = [&rig] { return rig.recorder.outcomes.last().unreachable; };
        QVERIFY(unreachable());
        rig.setDown("A", false);
        rig.passes(2);
        QCOMPARE(rig.takeAlerts(), QStringList());
        QCOMPARE(rig.rows.text(1, Col::Status), QStringLiteral("应答包错误：DOWN"));
        rig.pass();
        QCOMPARE(rig.takeAlerts(), QStringList{"B " + kSocketTitle});
        QVERIFY(!unreachable());
    }

    void cycleRefused_data() {
        QTest::addColumn<QList<qint64>>("parents"); // of servers 1, 2, 3...
        QTest::addColumn<qint64>("id");
        QTest::addColumn<qint64>("proposed");
        QTest::addColumn<bool>("cycle");
        QTest::newRow("none") << QList<qint64>{0, 0} << qint64(1) << qint64(2) << false;
        QTest::newRow("itself") << QList<qint64>{0} << qint64(1) << qint64(1) << true;
        QTest::newRow("direct") << QList<qint64>{0, 1} << qint64(1) << qint64(2) << true;
        QTest::newRow("through two links")
            << QList<qint64>{0, 1, 2} << qint64(1) << qint64(3) << true;
        QTest::newRow("chain, no loop")
            << QList<qint64>{0, 1, 2} << qint64(3) << qint64(1) << false;
        QTest::newRow("a loop elsewhere")
            << QList<qint64>{0, 3, 2} << qint64(1) << qint64(2) << false;
        QTest::newRow("no parent") << QList<qint64>{0, 1} << qint64(1) << qint64(0) << false;
    }
    void cycleRefused() {
        QFETCH(QList<qint64>, parents);
        QFETCH(qint64, id);
        QFETCH(qint64, proposed);
        QFETCH(bool, cycle);
        QHash<qint64, qint64> parentOf;
        for (qsizetype i = 0; i < parents.size(); ++i)
            parentOf.insert(i + 1, parents.at(i));
        QCOMPARE(ServerDependencies::formsCycle(parentOf, id, proposed), cycle);
    }

    // Inside a window a server is probed, counted and recorded with the
    // maintenance mark, its name shows 【维护】 and nothing alerts; still
    // failing when the window closes, it alerts at once.
    void maintenanceWindow() {
        Rig rig({{"A", {}}, {"B", {}}});
        const qint64 start = rig.clock.utcMs();
        rig.monitor.setMaintenanceWindows({onceWindow({1}, start, start + 10 * kMinuteMs)});
        rig.setDown("AB");
        rig.passes(4);
        QCOMPARE(rig.takeAlerts(), QStringList{"B " + kSocketTitle});
        QCOMPARE(rig.shownName("A"), QStringLiteral("【维护】A"));
        QCOMPARE(rig.rows.text(0, Col::DisplayName), QStringLiteral("A"));
        QCOMPARE(rig.shownName("B"), QStringLiteral("B"));
        QCOMPARE(rig.rows.text(0, Col::ReplyErr), QStringLiteral("4"));
        for (const ProbeOutcome& outcome : std::as_const(rig.recorder.outcomes))
            QCOMPARE(outcome.maintenance, outcome.serverId == 1);

        rig.clock.advance(6 * kMinuteMs); // past the end
        rig.monitor.TimerProc_Timer();
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle});
        QCOMPARE(rig.shownName("A"), QStringLiteral("A"));
        rig.pass();
        QCOMPARE(rig.takeAlerts(), QStringList());
        QVERIFY(!rig.recorder.outcomes.last().maintenance);
    }

    void windowClosingOverAHealthyServer() {
        Rig rig(QList<Server>{{"A", {}}});
        const qint64 start = rig.clock.utcMs();
        MaintenanceWindow weekly;
        weekly.kind = MaintenanceWindow::Kind::Weekly;
        weekly.days = 0x7f;
        weekly.timeZone = "UTC";
        weekly.startTime = QDateTime::fromMSecsSinceEpoch(start, QTimeZone::utc()).time();
        weekly.minutes = 3;
        rig.monitor.setMaintenanceWindows({weekly});
        rig.setDown("A");
        rig.passes(2);
        QCOMPARE(rig.shownName("A"), QStringLiteral("【维护】A"));
        rig.setDown("A", false);
        rig.passes(2);
        QCOMPARE(rig.shownName("A"), QStringLiteral("A"));
        QCOMPARE(rig.takeAlerts(), QStringList());
    }

    // With REMINDMIN at 5 and a pass a minute, a server that stays down is
    // reminded of exactly every five minutes after its alert, until it
    // recovers.
    void reminders() {
        Rig rig(QList<Server>{{"A", {}}});
        rig.settings.RemindMin = 5;
        rig.setDown("A");
        rig.passes(3);
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle});
        for (const int minutes : {5, 10}) {
            rig.passes(4);
            QCOMPARE(rig.takeAlerts(), QStringList());
            rig.pass();
            QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle +
                                                   QStringLiteral("(持续%1分钟)").arg(minutes)});
        }
        rig.setDown("A", false);
        rig.passes(6);
        QCOMPARE(rig.takeAlerts(), QStringList());
    }

    void noReminderWithoutRemindMin() {
        Rig rig(QList<Server>{{"A", {}}});
        rig.setDown("A");
        rig.passes(20);
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle});
    }

    // FLAPLIMIT 4: four changes within 20 passes raise one alert and mark
    // the name; 20 passes in one state release it.
    void flapping() {
        Rig rig(QList<Server>{{"A", {}}});
        rig.settings.FlapLimit = 4;
        rig.settings.iReplyLim = 1;
        rig.pass();
        for (int change = 1; change <= 3; ++change) {
            rig.setDown("A", change % 2 == 1);
            rig.pass();
        }
        QCOMPARE(rig.takeAlerts(), (QStringList{"A " + kSocketTitle, "A " + kSocketTitle}));
        QCOMPARE(rig.shownName("A"), QStringLiteral("A"));
        rig.setDown("A", false); // the fourth change
        rig.pass();
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kFlapTitle});
        QCOMPARE(rig.shownName("A"), QStringLiteral("【频繁】A"));
        rig.setDown("A", true);
        rig.pass();
        QCOMPARE(rig.takeAlerts(), QStringList());
        rig.passes(18);
        QCOMPARE(rig.shownName("A"), QStringLiteral("【频繁】A"));
        rig.pass(); // the twentieth pass down
        QCOMPARE(rig.shownName("A"), QStringLiteral("A"));
        rig.setDown("A", false);
        rig.pass();
        rig.setDown("A", true);
        rig.pass();
        QCOMPARE(rig.takeAlerts(), QStringList{"A " + kSocketTitle});
    }
};

QTEST_MAIN(TestAlertLogic)
#include "tst_alertlogic.moc"
