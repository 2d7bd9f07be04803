#include "CatalogueTestSupport.h"
#include "FakeEcho.h"
#include "PgTestCluster.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ui/FormInfo.h"

#include <QLabel>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <ctime>

namespace {

const QString kDatabase = QStringLiteral("servermon_forminfo_agents_test");
const QString kAgentConnection = QStringLiteral("agents");
// 2023-11-14 22:13:20 UTC, 2023-11-15 06:13:20 in Shanghai.
constexpr qint64 kTimeUtcMs = 1700000000000;

ServerRecord loopback(const QString& name) {
    return {0, name, QStringLiteral("127.0.0.1"), QStringLiteral("80"), {}, {}, {}, true};
}

// The agents' list as shown: one line per row, its cells joined by '|'.
QStringList shownLines(FormInfo& form) {
    auto* list = control<QTreeWidget>(form, "LstAgents");
    QStringList lines;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        QStringList cells;
        for (int column = 0; column < list->columnCount(); ++column)
            cells << item->text(column);
        lines << cells.join(u'|');
    }
    return lines;
}

} // namespace

// The details window lists what each live agent last saw of the server, with
// a shared catalogue only. The agents' rows are written with SQL, as agents
// elsewhere would write them.
class TestFormInfoAgents final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static bool agentExec(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(kAgentConnection));
        if (query.exec(sql))
            return true;
        qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return false;
    }

    // A server in a fresh shared catalogue, and a connection to it for the
    // agents' rows.
    static std::optional<ServerRecord> sharedServer() {
        const QString uri = PgTestCluster::createDatabase(kDatabase);
        if (uri.isEmpty())
            return std::nullopt;
        ModuleDB::DbClose();
        ModuleDB::setDatabaseUri(uri);
        if (!ModuleDB::DbOpen() || !ServerCatalogue::AddServer(loopback("web")).isEmpty())
            return std::nullopt;
        QSqlDatabase agents = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kAgentConnection);
        agents.setHostName(PgTestCluster::host());
        agents.setPort(PgTestCluster::port());
        agents.setUserName(PgTestCluster::userName());
        agents.setDatabaseName(kDatabase);
        if (!agents.open())
            return std::nullopt;
        return ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).value(0);
    }

    // "name|location|heartbeat age in s" and
    // "agent|server offset|state|status|reply ms|time ms" rows, the server
    // offset added to the server's ID.
    static bool insertAgents(const QStringList& agents, const QStringList& states,
                             qint64 serverId) {
        for (const QString& agent : agents) {
            const QStringList f = agent.split(u'|');
            if (!agentExec(QStringLiteral("insert into Agents (Name, Location, HeartbeatUtcMs) "
                                          "values ('%1', '%2', (extract(epoch from "
                                          "clock_timestamp()) * 1000)::bigint - %3 * 1000)")
                               .arg(f.at(0), f.at(1), f.at(2))))
                return false;
        }
        for (const QString& state : states) {
            const QStringList f = state.split(u'|');
            if (!agentExec(QStringLiteral("insert into AgentState (Agent, ServerID, State, Status, "
                                          "ReplyMs, TimeUtcMs) values ('%1', %2, '%3', '%4', %5, "
                                          "%6)")
                               .arg(f.at(0), QString::number(serverId + f.at(1).toLongLong()),
                                    f.at(2), f.at(3), f.at(4), f.at(5))))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() {
        // Times show in local time: one zone for the expected texts.
        qputenv("TZ", "Asia/Shanghai");
        ::tzset();
        QVERIFY(m_dir.isValid());
        AppPaths::setCurrent(AppPaths::portableIn(m_dir.path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
        if (PgTestCluster::available())
            PgTestCluster::exportPassword();
    }

    void cleanup() {
        if (QSqlDatabase::contains(kAgentConnection)) {
            QSqlDatabase::database(kAgentConnection).close();
            QSqlDatabase::removeDatabase(kAgentConnection);
        }
        ModuleDB::DbClose();
        ModuleDB::setDatabaseUri({});
    }

    void cleanupTestCase() {
        AppPaths::setCurrent(AppPaths::portableIn(QCoreApplication::applicationDirPath()));
    }

    // The file has no agents: the window is as it always was.
    void noAgentsWithTheFile() {
        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(ServerCatalogue::AddServer(loopback("web")), QString());
        FakeEcho echo;
        FormInfo form(echo);
        form.setServer(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).value(0));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(control(form, "Label9")->isHidden());
        QVERIFY(control(form, "LstAgents")->isHidden());
        QVERIFY(!control<QTimer>(form, "TimerAgents")->isActive());
        QCOMPARE(form.height(), 560);
    }

    // Each live agent's last result for the server, by location and name;
    // agents silent for 30 s and other servers' results are left out.
    void agentsResults_data() {
        QTest::addColumn<QStringList>("agents");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<QStringList>("lines");
        const QStringList none{QStringLiteral("没有代理监测此服务器|||||")};
        QTest::newRow("no agent") << QStringList{} << QStringList{} << none;
        QTest::newRow("a silent agent only")
            << QStringList{"old|east|60"}
            << QStringList{"old|0|up|已收到正确的回应包|5|1700000000000"} << none;
        QTest::newRow("another server's result")
            << QStringList{"a|east|0"} << QStringList{"a|1|up|已收到正确的回应包|5|1700000000000"}
            << none;
        QTest::newRow("live agents by location and name")
            << QStringList{"b|west|0", "a|west|1", "c||0", "d|east|2", "old|east|60"}
            << QStringList{"a|0|up|已收到正确的回应包|12|1700000000000",
                           "b|0|down|SOCKET错误：10061|-1|1700000001000",
                           "c|0|||0|0",
                           "d|0|up|已收到正确的回应包|3|1700000002000",
                           "d|1|down|x|0|1700000002000",
                           "old|0|up|已收到正确的回应包|5|1700000000000"}
            << QStringList{"c|(无位置)|未监测|||",
                           "d|east|正常|已收到正确的回应包|3 毫秒|2023-11-15 06:13:22",
                           "a|west|正常|已收到正确的回应包|12 毫秒|2023-11-15 06:13:20",
                           "b|west|故障|SOCKET错误：10061||2023-11-15 06:13:21"};
    }
    void agentsResults() {
        QFETCH(QStringList, agents);
        QFETCH(QStringList, states);
        QFETCH(QStringList, lines);
        PG_TEST_CLUSTER_OR_SKIP();
        const std::optional<ServerRecord> server = sharedServer();
        QVERIFY(server);
        QVERIFY(insertAgents(agents, states, server->id));
        FakeEcho echo;
        FormInfo form(echo);
        form.setServer(*server);
        form.show();
        auto* title = control<QLabel>(form, "Label9");
        QVERIFY(title->isVisible());
        QCOMPARE(title->text(), QStringLiteral("各代理的监测结果:"));
        auto* list = control<QTreeWidget>(form, "LstAgents");
        QVERIFY(list->isVisible());
        QTRY_COMPARE(shownLines(form), lines);
        if (lines.size() == 1)
            QVERIFY(list->topLevelItem(0)->isFirstColumnSpanned());
        // The list sits between the server's details and the buttons.
        QVERIFY(title->geometry().top() > control(form, "Frame1")->geometry().bottom());
        QVERIFY(list->geometry().top() >= title->geometry().bottom());
        QVERIFY(control(form, "CmdCancel")->geometry().top() > list->geometry().bottom());
        QVERIFY(control(form, "lb_WskState")->geometry().top() > list->geometry().bottom());
    }

    // While the window is open the list is read again every 10 s; closed,
    // it is not.
    void resultsAreReadAgain() {
        PG_TEST_CLUSTER_OR_SKIP();
        const std::optional<ServerRecord> server = sharedServer();
        QVERIFY(server);
        QVERIFY(insertAgents({"a|east|0"}, {"a|0|||0|0"}, server->id));
        FakeEcho echo;
        FormInfo form(echo);
        form.setServer(*server);
        form.show();
        QTRY_COMPARE(shownLines(form), QStringList{"a|east|未监测|||"});
        auto* timer = control<QTimer>(form, "TimerAgents");
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 10000);
        QVERIFY(agentExec("update AgentState set State = 'down', Status = 'SOCKET超时', "
                          "ReplyMs = 3000, TimeUtcMs = 1700000000000"));
        QTRY_COMPARE_WITH_TIMEOUT(
            shownLines(form), QStringList{"a|east|故障|SOCKET超时|3000 毫秒|2023-11-15 06:13:20"},
            20000);
        form.hide();
        QVERIFY(!timer->isActive());
    }
};

QTEST_MAIN(TestFormInfoAgents)
#include "tst_forminfoagents.moc"
