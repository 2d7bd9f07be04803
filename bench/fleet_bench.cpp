// Measures a fleet of headless agents on one catalogue in a private
// PostgreSQL cluster on loopback: the CPU time each agent spends per server
// and pass when three agents split 3×N servers, beside one agent holding N
// servers alone, in alternating rounds (fleet_ratio: the agents' worst
// over the single agent's, median of the rounds; target at most 1.2); and
// what writing the agent's states of N servers (one statement per pass)
// costs beside such a pass (upsert_share; target below 0.05). The agents
// are the built servermon-headless processes, probing endpoints of a
// loopback server in a process of its own; their passes are followed
// through what they write to AgentState after each, so no scrape adds to
// the CPU time measured. The three agents are registered as a running
// fleet's would be and start a third of the pass interval apart, so their
// passes take turns as they would on machines of their own instead of
// crowding the same two cores. Needs the cluster scripts/pg-cluster.sh
// starts, found through its env file's variables.
//   fleet_bench [--rows N] [--rounds R] [--passes P] [--summary]
#include "BenchFigures.h"
#include "LoopbackServer.h"
#include "PgBenchCluster.h"
#include "ServerProcess.h"

#include "catalogue/ModuleDB.h"
#include "catalogue/ServerListLoader.h"
#include "fleet/FleetAgent.h"
#include "monitor/ServerRowModel.h"
#include "platform/FileLimit.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

constexpr int WaitMs = 180000;

struct Options {
    int rows = 10000;
    int rounds = 3;
    int passes = 3;
    bool summary = false;
};

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--rows") && hasValue)
            options.rows = std::clamp(arguments.at(++i).toInt(), 100, 30000);
        else if (argument == QLatin1String("--rounds") && hasValue)
            options.rounds = std::clamp(arguments.at(++i).toInt(), 1, 15);
        else if (argument == QLatin1String("--passes") && hasValue)
            options.passes = std::clamp(arguments.at(++i).toInt(), 1, 20);
        else if (argument == QLatin1String("--summary"))
            options.summary = true;
    }
    return options;
}

// One servermon-headless agent on the catalogue, its metrics on loopback.
class AgentProcess final {
public:
    AgentProcess(const QString& program, const QString& uri, const QString& name, int passIntervalS)
        : m_name(name) {
        QFile settings(m_folder.filePath(QStringLiteral("RodOdazuConfig.ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write(QByteArray("[SETTING]\nITIMERN=") + QByteArray::number(passIntervalS) +
                       "\n[SETUP]\nHISTORY=0\n");
        settings.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program,
                        {QStringLiteral("--config-dir"), m_folder.path(),
                         QStringLiteral("--database"), uri, QStringLiteral("--agent"), name});
        m_process.waitForStarted();
    }
    ~AgentProcess() {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    QString name() const { return m_name; }
    double cpuMicros() const { return processCpuMicros(static_cast<pid_t>(m_process.processId())); }

private:
    QTemporaryDir m_folder;
    QString m_name;
    QProcess m_process;
};

// Follows the agents' passes through what they write after each one to
// AgentState (a new time, and their servers), so nothing is asked of the
// agents themselves while they are measured.
class PassWatch final {
public:
    PassWatch(const PgBenchCluster& cluster, const QString& database,
              const std::vector<std::unique_ptr<AgentProcess>>& agents)
        : m_db(cluster.connect(QStringLiteral("fleet_bench-watch"), database)) {
        for (const auto& agent : agents)
            m_agents.push_back({agent->name(), -1, 0, 0});
        // What an earlier round's agent of the same name wrote is no pass.
        poll();
        for (Seen& seen : m_agents)
            seen.passes = 0;
    }
    ~PassWatch() {
        m_db = {};
        QSqlDatabase::removeDatabase(QStringLiteral("fleet_bench-watch"));
    }
    PassWatch(const PassWatch&) = delete;
    PassWatch& operator=(const PassWatch&) = delete;

    // Waits until every agent has finished `passes` more passes and the
    // agents hold `total` servers between them; false on time-out.
    bool waitFor(int passes, qint64 total = -1) {
        std::vector<qint64> goal;
        for (const Seen& seen : m_agents)
            goal.push_back(seen.passes + passes);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < WaitMs) {
            poll();
            qint64 held = 0;
            bool done = true;
            for (size_t i = 0; i < m_agents.size(); ++i) {
                done = done && m_agents[i].passes >= goal[i];
                held += m_agents[i].servers;
            }
            if (done && (total < 0 || held == total))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    qint64 passes(size_t agent) const { return m_agents[agent].passes; }
    qint64 servers(size_t agent) const { return m_agents[agent].servers; }

private:
    struct Seen {
        QString agent;
        qint64 lastTime;
        qint64 passes;
        qint64 servers;
    };

    void poll() {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral(
                "select Agent, max(TimeUtcMs), count(*) from AgentState group by Agent")))
            return;
        while (query.next()) {
            for (Seen& seen : m_agents) {
                if (seen.agent != query.value(0).toString())
                    continue;
                const qint64 time = query.value(1).toLongLong();
                if (time != seen.lastTime) {
                    seen.lastTime = time;
                    ++seen.passes;
                    seen.servers = query.value(2).toLongLong();
                }
            }
        }
    }

    QSqlDatabase m_db;
    std::vector<Seen> m_agents;
};

// Each agent's CPU time per server and pass over a few passes, once the
// agents hold `total` servers between them and have passed twice.
std::vector<double> costPerServer(const PgBenchCluster& cluster, const QString& database,
                                  const std::vector<std::unique_ptr<AgentProcess>>& agents,
                                  qint64 total, int passes) {
    PassWatch watch(cluster, database, agents);
    // Measured from the end of a pass to the end of another.
    if (!watch.waitFor(2, total) || !watch.waitFor(1))
        return {};
    std::vector<double> cpuBefore;
    std::vector<qint64> passesBefore;
    for (size_t i = 0; i < agents.size(); ++i) {
        cpuBefore.push_back(agents[i]->cpuMicros());
        passesBefore.push_back(watch.passes(i));
    }
    if (!watch.waitFor(passes))
        return {};
    std::vector<double> costs;
    for (size_t i = 0; i < agents.size(); ++i) {
        const double cpu = agents[i]->cpuMicros() - cpuBefore[i];
        costs.push_back(
            cpu / static_cast<double>((watch.passes(i) - passesBefore[i]) * watch.servers(i)));
    }
    return costs;
}

// The three agents as a running fleet would know them, heard from just
// now: each one's first pass is already its share, not everything.
bool announceAgents(const PgBenchCluster& cluster, const QString& database,
                    const QStringList& names) {
    bool announced = true;
    {
        QSqlDatabase db = cluster.connect(QStringLiteral("fleet_bench-announce"), database);
        for (const QString& name : names) {
            QSqlQuery beat(db);
            beat.prepare(QStringLiteral(
                "insert into Agents (Name, Location, HeartbeatUtcMs) values (?, '',"
                " (extract(epoch from clock_timestamp()) * 1000)::bigint) on conflict (Name)"
                " do update set HeartbeatUtcMs = excluded.HeartbeatUtcMs"));
            beat.addBindValue(name);
            announced = beat.exec() && announced;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fleet_bench-announce"));
    return announced;
}

bool fillCatalogue(const PgBenchCluster& cluster, const QString& database,
                   const std::vector<LoopbackServer::Endpoint>& endpoints, int rows) {
    bool filled = false;
    {
        QSqlDatabase db = cluster.connect(QStringLiteral("fleet_bench-fill"), database);
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "insert into ServerList (DisplayName, IPAddress, Port, PostData, ReplyData, AddTime,"
            " InUse) select 'bench-' || g, (string_to_array(?, ','))[1 + g % ?],"
            " (string_to_array(?, ','))[1 + g % ?], 'HELLO', '200', '', 1"
            " from generate_series(0, ? - 1) g"));
        QStringList addresses;
        QStringList ports;
        for (const LoopbackServer::Endpoint& endpoint : endpoints) {
            addresses << QString::fromStdString(endpoint.address);
            ports << QString::number(endpoint.port);
        }
        const int count = static_cast<int>(endpoints.size());
        for (const QVariant& value :
             QVariantList{addresses.join(u','), count, ports.join(u','), count, rows})
            insert.addBindValue(value);
        filled = insert.exec();
        if (!filled)
            std::fprintf(stderr, "fleet_bench: %s\n", qPrintable(insert.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fleet_bench-fill"));
    return filled;
}

// A database with the catalogue's tables and `rows` servers; its URI.
QString catalogueOf(const PgBenchCluster& cluster, const QString& name,
                    const std::vector<LoopbackServer::Endpoint>& endpoints, int rows) {
    QString error;
    const QString uri = cluster.createDatabase(name, &error);
    if (uri.isEmpty()) {
        std::fprintf(stderr, "fleet_bench: %s\n", qPrintable(error));
        return {};
    }
    ModuleDB::setDatabaseUri(uri);
    const bool opened = ModuleDB::DbOpen();
    ModuleDB::DbClose();
    ModuleDB::setDatabaseUri({});
    if (!opened || !fillCatalogue(cluster, name, endpoints, rows))
        return {};
    return uri;
}

// The CPU time this process spends writing an agent's states of `rows`
// servers, per write (the worker's statement included).
double upsertMicros(const QString& uri, int rows, int writes) {
    ModuleDB::setDatabaseUri(uri);
    if (!ModuleDB::DbOpen())
        return -1;
    ServerRowModel model;
    ServerListLoader::LoadServerList(model, ServerCatalogue::Selection::Enabled);
    for (int row = 0; row < model.rowCount(); ++row) {
        model.setText(row, ServerRowModel::Status, QStringLiteral("连接成功"));
        model.setText(row, ServerRowModel::ReplyTime, QStringLiteral("3ms"));
    }
    SystemClock clock;
    FleetAgent agent(model, clock, QStringLiteral("bench-agent"), {});
    std::vector<double> micros;
    for (int i = 0; i < writes; ++i) {
        const double before = processCpuMicros();
        agent.storeStates();
        // A read queued behind the write returns once the write is done.
        ModuleDB::DbSelect(QStringLiteral("select 1"));
        micros.push_back(processCpuMicros() - before);
    }
    bool ok = false;
    const QList<QSqlRecord> stored = ModuleDB::DbSelect(
        QStringLiteral("select count(*) from AgentState where Agent = 'bench-agent'"), {}, &ok);
    ModuleDB::DbClose();
    ModuleDB::setDatabaseUri({});
    if (!ok || stored.value(0).value(0).toInt() != model.rowCount() || model.rowCount() != rows)
        return -1;
    return spreadOf(micros).median;
}

} // namespace

int main(int argc, char* argv[]) {
    // The server's process starts before this one starts any thread.
    const ServerProcess server(
        [](const ServerProcess::Announce& announce) {
            static LoopbackServer loopback(16, 8);
            for (const LoopbackServer::Endpoint& endpoint : loopback.endpoints())
                announce(endpoint);
            return !loopback.endpoints().empty();
        },
        16 * 8);
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    FileLimit::raiseToHardLimit();
    if (server.endpoints().empty()) {
        std::fprintf(stderr, "fleet_bench: the loopback server did not start\n");
        return 1;
    }
    const PgBenchCluster cluster;
    if (const QString why = cluster.unavailableReason(); !why.isEmpty()) {
        std::fprintf(stderr, "fleet_bench: %s\n", qPrintable(why));
        return 1;
    }
    const QString program = QDir(QCoreApplication::applicationDirPath())
                                .filePath(QStringLiteral("../servermon-headless"));
    const QString single =
        catalogueOf(cluster, QStringLiteral("fleet_bench_one"), server.endpoints(), options.rows);
    const QString shared = catalogueOf(cluster, QStringLiteral("fleet_bench_three"),
                                       server.endpoints(), 3 * options.rows);
    if (single.isEmpty() || shared.isEmpty())
        return 1;

    // Long enough for three passes one after another.
    const int passIntervalS = std::max(6, options.rows / 500);
    std::printf("fleet: %d servers for one agent, %d for three, %zu loopback endpoints, "
                "%d passes per round, a pass every %d s\n",
                options.rows, 3 * options.rows, server.endpoints().size(), options.passes,
                passIntervalS);
    std::vector<double> ratios;
    std::vector<double> singleCosts;
    for (int round = 0; round < options.rounds; ++round) {
        std::vector<double> alone;
        {
            std::vector<std::unique_ptr<AgentProcess>> agents;
            agents.push_back(std::make_unique<AgentProcess>(program, single, QStringLiteral("solo"),
                                                            passIntervalS));
            alone = costPerServer(cluster, QStringLiteral("fleet_bench_one"), agents, options.rows,
                                  options.passes);
        }
        std::vector<double> three;
        {
            std::vector<std::unique_ptr<AgentProcess>> agents;
            const QStringList names = {QStringLiteral("agent-1"), QStringLiteral("agent-2"),
                                       QStringLiteral("agent-3")};
            if (!announceAgents(cluster, QStringLiteral("fleet_bench_three"), names))
                return 1;
            for (const QString& name : names) {
                if (!agents.empty())
                    QThread::msleep(static_cast<unsigned long>(passIntervalS) * 1000 / 3);
                agents.push_back(
                    std::make_unique<AgentProcess>(program, shared, name, passIntervalS));
            }
            three = costPerServer(cluster, QStringLiteral("fleet_bench_three"), agents,
                                  3 * options.rows, options.passes);
        }
        if (alone.empty() || three.empty()) {
            std::fprintf(stderr, "fleet_bench: the agents did not complete their passes\n");
            return 1;
        }
        const double worst = *std::max_element(three.begin(), three.end());
        ratios.push_back(worst / alone.front());
        singleCosts.push_back(alone.front());
        std::printf("  round %d: one agent %.1f us per server and pass; three agents %.1f, %.1f, "
                    "%.1f us; worst/one %.2f\n",
                    round + 1, alone.front(), three[0], three[1], three[2], ratios.back());
    }
    const Spread ratio = spreadOf(ratios);
    const double passMicros = spreadOf(singleCosts).median * options.rows;
    const double upsert = upsertMicros(single, options.rows, 7);
    const double upsertShare = upsert < 0 ? -1 : upsert / passMicros;
    std::printf("  %-28s %.2f (IQR %.2f, worst %.2f), target at most 1.2\n", "fleet ratio",
                ratio.median, ratio.iqr, ratio.worst);
    std::printf("  %-28s %.1f ms of CPU beside a pass of %.1f ms: %.3f, target below 0.05\n",
                "AgentState write", upsert / 1000, passMicros / 1000, upsertShare);
    if (options.summary)
        std::printf("fleet_ratio=%.2f fleet_ratio_iqr=%.2f upsert_share=%.3f\n", ratio.median,
                    ratio.iqr, upsertShare);
    return 0;
}
