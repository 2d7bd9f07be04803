#include "PgTestCluster.h"
#include "ProgramRuns.h"

#include "fleet/ServerShare.h"

#include <QRegularExpression>
#include <QSet>

#include <memory>
#include <optional>

using namespace ProgramRuns;

namespace {

const QString kDatabase = QStringLiteral("servermon_fleet_test");
const QString kConnection = QStringLiteral("fleet-test-connection");
// Agents renew their heartbeat every half second and count as gone after
// a second and a half.
const QByteArray kHeartbeatMs = "500";
const QByteArray kFastPasses = "[SETTING]\nITIMERN=1\n[SETUP]\nITIMEOUT=500\n";

using Ids = QSet<qint64>;

QSqlDatabase database() {
    return PgTestCluster::connection(kConnection, kDatabase);
}

bool execute(const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(database());
    query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    const bool done = query.exec();
    if (!done)
        qWarning("%s", qPrintable(query.lastError().text()));
    return done;
}

// The rows of a query as "first|second|…" texts.
QStringList rows(const QString& sql) {
    QSqlQuery query(database());
    QStringList found;
    if (!query.exec(sql))
        qWarning("%s", qPrintable(query.lastError().text()));
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i)
            fields << query.value(i).toString();
        found << fields.join(u'|');
    }
    return found;
}

// servermon-headless as one agent of the fleet, its metrics on a loopback port.
class Agent final {
    Q_DISABLE_COPY_MOVE(Agent)
public:
    // Without a location the option is left out.
    Agent(const QString& uri, const QString& name, const std::optional<QString>& location)
        : m_uri(uri)
        , m_name(name)
        , m_location(location)
        , m_metricsPort(closedPort()) {
        m_folder.writeSettings(kFastPasses);
        start();
    }
    ~Agent() { kill(); }

    void start() {
        QProcessEnvironment environment = withoutDesktop();
        environment.insert(QStringLiteral("SERVERMON_AGENT_HEARTBEAT_MS"),
                           QString::fromLatin1(kHeartbeatMs));
        m_process.setProcessEnvironment(environment);
        QStringList arguments = {QStringLiteral("--config-dir"),
                                 m_folder.path(),
                                 QStringLiteral("--database"),
                                 m_uri,
                                 QStringLiteral("--agent"),
                                 m_name,
                                 QStringLiteral("--metrics"),
                                 QStringLiteral("127.0.0.1:") + QString::number(m_metricsPort)};
        if (m_location)
            arguments << QStringLiteral("--location") << *m_location;
        m_process.start(headlessProgram(), arguments);
    }
    void kill() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(WaitMs);
    }

    QString name() const { return m_name; }
    QByteArray metrics() { return scrapeMetrics(m_metricsPort); }
    // The servers whose series the agent exports.
    Ids exported() {
        static const QRegularExpression series(
            QStringLiteral("^servermon_probes_total\\{id=\"(\\d+)\""),
            QRegularExpression::MultilineOption);
        Ids ids;
        for (const QRegularExpressionMatch& found :
             series.globalMatch(QString::fromUtf8(metrics())))
            ids.insert(found.captured(1).toLongLong());
        return ids;
    }
    QByteArray log() {
        m_log += m_process.readAllStandardOutput();
        return m_log;
    }

private:
    const QString m_uri;
    const QString m_name;
    const std::optional<QString> m_location;
    const quint16 m_metricsPort;
    DataFolder m_folder;
    QProcess m_process;
    QByteArray m_log;
};

struct Server {
    qint64 id;
    QString locations;
};

// The servers each of the agents should hold when those are the live ones
// of their location.
QList<Ids> expectedShares(const QList<Server>& servers, const QStringList& agents,
                          const QString& location) {
    QList<Ids> shares;
    for (const QString& agent : agents) {
        ServerShare share(agent, location);
        share.setLiveAgents(agents);
        Ids held;
        for (const Server& server : servers) {
            if (share.holds(server.id, server.locations))
                held.insert(server.id);
        }
        shares << held;
    }
    return shares;
}

} // namespace

// Headless agents sharing one catalogue in PostgreSQL split its servers by
// location and among the live agents of a location; an agent that goes
// silent loses its servers to the others, and takes them back on return.
class TestFleetAgents final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFileInfo(headlessProgram()).isExecutable()); }

    void cleanup() {
        if (QSqlDatabase::contains(kConnection)) {
            QSqlDatabase::database(kConnection).close();
            QSqlDatabase::removeDatabase(kConnection);
        }
    }

    void agentsSplitTheCatalogue() {
        PG_TEST_CLUSTER_OR_SKIP();
        PgTestCluster::exportPassword();
        const QString uri = PgTestCluster::createDatabase(kDatabase);
        QVERIFY(!uri.isEmpty());
        const QList<Server> servers = fillCatalogue(uri);
        QCOMPARE(servers.size(), 303);

        const QStringList east = {QStringLiteral("east-1"), QStringLiteral("east-2"),
                                  QStringLiteral("east-3")};
        std::vector<std::unique_ptr<Agent>> agents;
        for (const QString& name : east)
            agents.push_back(std::make_unique<Agent>(uri, name, QStringLiteral("east")));
        // Location names match without regard to case.
        Agent west(uri, QStringLiteral("west-1"), QStringLiteral("WEST"));
        // An agent without a location probes only the servers without one.
        Agent unplaced(uri, QStringLiteral("unplaced"), std::nullopt);

        // Every server of the east once, split three ways; the west holds
        // the servers it watches, two of them watched from the east too.
        const QList<Ids> threeWays = expectedShares(servers, east, QStringLiteral("east"));
        Ids eastServers;
        for (const Ids& share : threeWays) {
            QVERIFY(!eastServers.intersects(share));
            QVERIFY2(share.size() > 60 && share.size() < 150,
                     qPrintable(QString::number(share.size())));
            eastServers |= share;
        }
        QCOMPARE(eastServers.size(), 302);
        for (int i = 0; i < 3; ++i)
            QTRY_COMPARE_WITH_TIMEOUT(agents[i]->exported(), threeWays[i], WaitMs);
        const Ids westServers = {servers[300].id, servers[301].id, servers[302].id};
        QTRY_COMPARE_WITH_TIMEOUT(west.exported(), westServers, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(unplaced.exported(), Ids{servers[302].id}, WaitMs);

        // Every agent is registered, each with its location.
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(QStringLiteral("select Name, Location from Agents order by Name")),
            QStringList({QStringLiteral("east-1|east"), QStringLiteral("east-2|east"),
                         QStringLiteral("east-3|east"), QStringLiteral("unplaced|"),
                         QStringLiteral("west-1|WEST")}),
            WaitMs);
        // What each agent saw is in AgentState, one row per agent and
        // server: one of two locations has two, one of every location three.
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(QStringLiteral("select count(*) from AgentState where Agent = 'east-1'")),
            QStringList{QString::number(threeWays[0].size())}, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(QStringLiteral("select count(distinct Agent), min(State), max(State),"
                                " max(ReplyMs) from AgentState where ServerID = %1")
                     .arg(servers[301].id)),
            QStringList{QStringLiteral("2|down|down|-1")}, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(QStringLiteral("select count(distinct Agent) from AgentState where ServerID = %1")
                     .arg(servers[302].id)),
            QStringList{QStringLiteral("3")}, WaitMs);

        // east-2 dies: east-1 and east-3 take its servers, keeping theirs.
        agents[1]->kill();
        const QStringList survivors = {east[0], east[2]};
        const QList<Ids> twoWays = expectedShares(servers, survivors, QStringLiteral("east"));
        QVERIFY(twoWays[0].contains(threeWays[0]) && twoWays[1].contains(threeWays[2]));
        QCOMPARE(twoWays[0] | twoWays[1], eastServers);
        QTRY_COMPARE_WITH_TIMEOUT(agents[0]->exported(), twoWays[0], WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(agents[2]->exported(), twoWays[1], WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(QStringLiteral("select count(*) from AgentState where Agent = 'east-1'")),
            QStringList{QString::number(twoWays[0].size())}, WaitMs);

        // It returns and takes back exactly its share.
        agents[1]->start();
        for (int i = 0; i < 3; ++i)
            QTRY_COMPARE_WITH_TIMEOUT(agents[i]->exported(), threeWays[i], WaitMs);
        QVERIFY(agents[0]->log().contains("\tagents\teast-1\teast\teast-1,east-2,east-3\t"));

        // A server moved to the west leaves the east at once.
        QVERIFY(execute(QStringLiteral("update ServerList set Locations = 'West', "
                                       "Revision = Revision + 1 where ID = ?"),
                        {servers[0].id}));
        const int holder = threeWays[0].contains(servers[0].id)   ? 0
                           : threeWays[1].contains(servers[0].id) ? 1
                                                                  : 2;
        QTRY_VERIFY_WITH_TIMEOUT(!agents[holder]->exported().contains(servers[0].id), WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(west.exported().contains(servers[0].id), WaitMs);

        const QByteArray metrics = west.metrics();
        QVERIFY(metrics.contains("\nservermon_agent_info{agent=\"west-1\",location=\"WEST\"} 1\n"));
        QVERIFY(metrics.contains("\nservermon_agent_servers 4\n"));
        QVERIFY(metrics.contains("\nservermon_agent_heartbeat_age_seconds "));
    }

private:
    // 300 servers of the east, one of the west, one of both and one of
    // every location, all refusing connections.
    QList<Server> fillCatalogue(const QString& uri) {
        QList<Server> servers;
        ModuleDB::setDatabaseUri(uri);
        if (!ModuleDB::DbOpen()) {
            ModuleDB::setDatabaseUri({});
            return servers;
        }
        ModuleDB::DbClose();
        ModuleDB::setDatabaseUri({});
        const quint16 port = closedPort();
        const QString insert = QStringLiteral(
            "insert into ServerList (DisplayName, IPAddress, Port, PostData, ReplyData, AddTime,"
            " InUse, Locations) select ? || g, '127.0.0.1', ?, 'HELLO', '220', '', 1, ?"
            " from generate_series(1, ?) g");
        for (const auto& [name, locations, count] :
             {std::tuple{"east-", "east", 300}, std::tuple{"west-", " west ", 1},
              std::tuple{"both-", "East,west", 1}, std::tuple{"all-", "", 1}}) {
            if (!execute(insert, {QString::fromLatin1(name), QString::number(port),
                                  QString::fromLatin1(locations), count}))
                return servers;
        }
        for (const QString& row :
             rows(QStringLiteral("select ID, Locations from ServerList order by ID")))
            servers.append({row.section(u'|', 0, 0).toLongLong(), row.section(u'|', 1)});
        return servers;
    }
};

QTEST_GUILESS_MAIN(TestFleetAgents)
#include "tst_fleetagents.moc"
