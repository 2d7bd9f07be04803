// Measures the catalogue in a shared PostgreSQL database on loopback beside
// the catalogue file, both holding the same N servers: the list load as the
// window does it (ServerListLoader::LoadServerList into a ServerRowModel)
// from each, in interleaved pairs, one ratio per pair, reported as the
// median and the interquartile range; how long events wait on the UI thread
// during loads from the database, in loads of their own, and where the UI
// thread's time in a load goes; and how long a change another copy makes to
// one server takes to reach this one as CatalogueEvents::serversChanged.
// Needs the private cluster scripts/pg-cluster.sh starts, found through the
// SERVERMON_TEST_PG_* variables of its env file.
//   pg_bench [--rows N] [--pairs P] [--stall-loads S] [--changes C]
//            [--spacing MS] [--summary]
#include "BenchFigures.h"
#include "EventWait.h"
#include "PgBenchCluster.h"
#include "StallMeter.h"

#include "catalogue/CatalogueCopy.h"
#include "catalogue/CatalogueEvents.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueUri.h"
#include "catalogue/CatalogueWorker.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ServerListLoader.h"
#include "catalogue/SqlErrorText.h"
#include "monitor/ServerRowModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const QString kDatabase = QStringLiteral("servermon_bench");
// The statement ServerCatalogue::SelectServers(All) runs.
const QString kSelectAll = QStringLiteral("select * from serverlist order by ID");
const QString kCopySource = QStringLiteral("pg_bench-copy-source");
const QString kCopyTarget = QStringLiteral("pg_bench-copy-target");
const QString kOtherCopy = QStringLiteral("pg_bench-other-copy");
// A change another copy makes, waited for at most this long.
constexpr int ChangeTimeOutMs = 5000;

struct Options {
    int rows = 10000;
    int pairs = 7;
    int stallLoads = 7;
    int changes = 50;
    int spacingMs = 200;
    bool summary = false;
};

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--rows") && hasValue)
            options.rows = std::clamp(arguments.at(++i).toInt(), 1, 50000);
        else if (argument == QLatin1String("--pairs") && hasValue)
            options.pairs = std::clamp(arguments.at(++i).toInt(), 1, 99);
        else if (argument == QLatin1String("--stall-loads") && hasValue)
            options.stallLoads = std::clamp(arguments.at(++i).toInt(), 1, 99);
        else if (argument == QLatin1String("--changes") && hasValue)
            options.changes = std::clamp(arguments.at(++i).toInt(), 1, 500);
        else if (argument == QLatin1String("--spacing") && hasValue)
            options.spacingMs = std::clamp(arguments.at(++i).toInt(), 0, 10000);
        else if (argument == QLatin1String("--summary"))
            options.summary = true;
    }
    return options;
}

double millisOf(const QElapsedTimer& elapsed) {
    return static_cast<double>(elapsed.nsecsElapsed()) / 1e6;
}

// Lets the event loop turn for ms: what the last step left to later turns
// (a load frees the old rows a batch per turn) is done by then.
void settle(int ms) {
    QObject context;
    bool over = false;
    QTimer::singleShot(ms, &context, [&over] { over = true; });
    waitUntil([&over] { return over; }, ms + 1000);
}

ServerRecord benchServer(int i) {
    ServerRecord server;
    server.displayName = QStringLiteral("bench%1").arg(i);
    server.ipAddress = QStringLiteral("127.0.%1.%2").arg(i / 250).arg(i % 250 + 1);
    server.port = QString::number(8000 + i % 1000);
    server.postData = QStringLiteral("ASC:71:69:84:32:47:32:72:84:84:80:47:49:46:48:13:10:13:10");
    server.replyData = QStringLiteral("200 OK");
    server.inUse = i % 10 != 0;
    return server;
}

// The catalogue file with rows servers, added as the window adds them, in
// one transaction.
QString fillFile(int rows) {
    ModuleDB::setDatabaseUri({});
    if (!ModuleDB::DbOpen())
        return QStringLiteral("the catalogue file did not open: ") + ModuleDB::DbOpenError();
    return ModuleDB::DbTransaction([rows] {
        for (int i = 1; i <= rows; ++i) {
            if (QString report = ServerCatalogue::AddServer(benchServer(i)); !report.isEmpty())
                return report;
        }
        return QString();
    });
}

// The file's catalogue into the empty database as --copy-catalogue does it:
// the schema made, then each kept table in one statement, in one transaction.
QString copyToPostgres(const QString& file, const QString& uri) {
    const CatalogueUri target = CatalogueUri::parse(uri);
    QString failure;
    {
        QSqlDatabase from = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kCopySource);
        from.setDatabaseName(file);
        QSqlDatabase to = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kCopyTarget);
        CatalogueWorker::configure(to, target);
        QString refusal;
        if (!from.open()) {
            failure = sqlErrorText(from.lastError());
        } else if (!to.open()) {
            failure = sqlErrorText(to.lastError());
        } else if (!CatalogueSchema::prepare(to, CatalogueSchema::Dialect::Postgres,
                                             target.displayText(), &refusal)) {
            failure = refusal.isEmpty() ? sqlErrorText(to.lastError()) : refusal;
        } else if (!to.transaction() || !from.transaction()) {
            failure = sqlErrorText(to.lastError());
        } else {
            failure = CatalogueCopy::copyKeptTables(from, to, CatalogueSchema::Dialect::Postgres);
            from.rollback();
            if (failure.isEmpty() && !to.commit())
                failure = sqlErrorText(to.lastError());
            if (!failure.isEmpty())
                to.rollback();
        }
        from.close();
        to.close();
    }
    QSqlDatabase::removeDatabase(kCopySource);
    QSqlDatabase::removeDatabase(kCopyTarget);
    return failure;
}

bool useFile() {
    ModuleDB::setDatabaseUri({});
    return ModuleDB::DbOpen();
}

bool useDatabase(const QString& uri) {
    ModuleDB::setDatabaseUri(uri);
    return ModuleDB::DbOpen() && ModuleDB::DbOnline();
}

// One list load as the window does it, once the last one's leftovers are
// done: its wall time in ms; -1 when the catalogue was not read whole.
double timedLoad(ServerRowModel& model, int rows) {
    settle(100);
    QElapsedTimer elapsed;
    elapsed.start();
    const bool read = ServerListLoader::LoadServerList(model, ServerCatalogue::Selection::All);
    const double ms = millisOf(elapsed);
    return read && model.rowCount() == rows ? ms : -1;
}

struct LoadPairs {
    Spread fileMs;
    Spread databaseMs;
    Spread ratio; // of the database's load time to the file's
};

// Pairs of loads, one from each catalogue, each after a warm-up load of its
// own; the order within a pair alternates. Empty spreads when a load failed.
LoadPairs measureLoadPairs(ServerRowModel& model, const QString& uri, int rows, int pairs) {
    std::vector<double> file, database, ratios;
    const auto loadFrom = [&](bool fromDatabase) {
        if (!(fromDatabase ? useDatabase(uri) : useFile()))
            return -1.0;
        timedLoad(model, rows);
        return timedLoad(model, rows);
    };
    for (int pair = 0; pair < pairs; ++pair) {
        const bool databaseFirst = pair % 2 == 1;
        const double first = loadFrom(databaseFirst);
        const double second = loadFrom(!databaseFirst);
        const double fileMs = databaseFirst ? second : first;
        const double databaseMs = databaseFirst ? first : second;
        if (fileMs <= 0 || databaseMs <= 0)
            return {};
        file.push_back(fileMs);
        database.push_back(databaseMs);
        ratios.push_back(databaseMs / fileMs);
    }
    return {spreadOf(file), spreadOf(database), spreadOf(ratios)};
}

// A load started from the event loop, as a menu command starts it, with a
// 1 ms timer running from before it until the old rows are freed after it.
struct MeteredLoad {
    double ms = -1;
    double longestWaitMs = 0;
};

MeteredLoad meteredLoad(ServerRowModel& model, int rows) {
    settle(100);
    MeteredLoad load;
    StallMeter stalls;
    stalls.start();
    QObject context;
    bool done = false;
    QTimer::singleShot(0, &context, [&] {
        QElapsedTimer elapsed;
        elapsed.start();
        const bool read = ServerListLoader::LoadServerList(model, ServerCatalogue::Selection::All);
        if (read && model.rowCount() == rows)
            load.ms = millisOf(elapsed);
        done = true;
    });
    waitUntil([&done] { return done; }, 60000);
    settle(50);
    load.longestWaitMs = stalls.stopMaxLateMs();
    return load;
}

struct StallRuns {
    Spread longestWaitMs; // of each load
    bool complete = false;
};

StallRuns measureStalls(ServerRowModel& model, int rows, int loads) {
    std::vector<double> waits;
    for (int i = 0; i < loads; ++i) {
        const MeteredLoad load = meteredLoad(model, rows);
        if (load.ms < 0)
            return {};
        waits.push_back(load.longestWaitMs);
    }
    return {spreadOf(waits), true};
}

// The parts of a load, each timed on its own (medians over the runs): the
// statement, from the UI thread's call until the rows are in its hands
// (with a database, the worker's time, during which the UI thread's loop
// turns); freeing the statement's rows; the whole read (SelectServers: the
// statement, the rows turned into server records, the rows freed), its
// longest event wait, which is the UI thread's time after the answer came;
// the model's fill from the records (LoadServerList); and freeing the
// records.
struct LoadParts {
    double selectMs = -1;
    double freeRowsMs = -1;
    double readMs = -1;
    double readWaitMs = -1;
    double fillMs = -1;
    double freeRecordsMs = -1;
};

LoadParts measureLoadParts(ServerRowModel& model, int rows, int runs) {
    std::vector<double> select, freeRows, read, readWait, fill, freeRecords;
    for (int i = 0; i < runs; ++i) {
        settle(100);
        QElapsedTimer elapsed;
        elapsed.start();
        bool ok = false;
        QList<QSqlRecord> records = ModuleDB::DbSelect(kSelectAll, {}, &ok);
        select.push_back(millisOf(elapsed));
        if (!ok || records.size() != rows)
            return {};
        elapsed.start();
        records = {};
        freeRows.push_back(millisOf(elapsed));

        settle(100);
        StallMeter stalls;
        stalls.start();
        elapsed.start();
        QList<ServerRecord> servers =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All, &ok);
        read.push_back(millisOf(elapsed));
        readWait.push_back(stalls.stopMaxLateMs());
        if (!ok || servers.size() != rows)
            return {};

        settle(100);
        elapsed.start();
        ServerListLoader::LoadServerList(model, servers);
        fill.push_back(millisOf(elapsed));
        elapsed.start();
        servers = {};
        freeRecords.push_back(millisOf(elapsed));
    }
    return {spreadOf(select).median,   spreadOf(freeRows).median, spreadOf(read).median,
            spreadOf(readWait).median, spreadOf(fill).median,     spreadOf(freeRecords).median};
}

struct Propagation {
    Spread ms;
    int failed = 0;  // not announced in time
    QString failure; // why another copy's change could not be made
};

// Changes another copy makes to one server each, through its own plain
// connection, spaced so that none is announced together with the next: from
// just before the statement runs until serversChanged names the server on
// the UI thread. A change not announced within five seconds fails.
Propagation propagate(QSqlDatabase& other, const QList<qint64>& ids, int changes, int spacingMs) {
    Propagation result;
    QSqlQuery update(other);
    if (!update.prepare(QStringLiteral("update ServerList set DisplayName=?, "
                                       "Revision=Revision+1 where ID=?"))) {
        result.failure = sqlErrorText(update.lastError());
        return result;
    }
    qint64 awaited = -1;
    double arrivedMs = -1;
    QElapsedTimer elapsed;
    QObject receiver;
    QObject::connect(ModuleDB::events(), &CatalogueEvents::serversChanged, &receiver,
                     [&](const QList<qint64>& changed) {
                         if (awaited >= 0 && arrivedMs < 0 && changed.contains(awaited))
                             arrivedMs = millisOf(elapsed);
                     });
    std::vector<double> arrivals;
    for (int i = 0; i < changes; ++i) {
        awaited = ids.at(static_cast<qsizetype>(i) * ids.size() / changes);
        arrivedMs = -1;
        update.bindValue(0, QStringLiteral("changed%1").arg(i));
        update.bindValue(1, awaited);
        elapsed.start();
        if (!update.exec()) {
            result.failure = sqlErrorText(update.lastError());
            return result;
        }
        if (waitUntil([&arrivedMs] { return arrivedMs >= 0; }, ChangeTimeOutMs))
            arrivals.push_back(arrivedMs);
        else
            ++result.failed;
        awaited = -1;
        settle(spacingMs);
    }
    result.ms = spreadOf(arrivals);
    return result;
}

Propagation measurePropagation(const PgBenchCluster& cluster, const QList<qint64>& ids, int changes,
                               int spacingMs) {
    Propagation result;
    {
        QSqlDatabase other = cluster.connect(kOtherCopy, kDatabase);
        if (other.isOpen())
            result = propagate(other, ids, changes, spacingMs);
        else
            result.failure = sqlErrorText(other.lastError());
        other.close();
    }
    QSqlDatabase::removeDatabase(kOtherCopy);
    return result;
}

QList<qint64> idsOf(const ServerRowModel& model) {
    QList<qint64> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids << model.text(row, ServerRowModel::ID).toLongLong();
    return ids;
}

void printParts(const char* label, const LoadParts& parts) {
    std::printf("  %-28s statement %.1f ms, its rows freed %.1f ms; read into records %.1f ms "
                "in all (longest wait %.1f ms); model filled %.1f ms; records freed %.1f ms\n",
                label, parts.selectMs, parts.freeRowsMs, parts.readMs, parts.readWaitMs,
                parts.fillMs, parts.freeRecordsMs);
}

int fail(const QString& why) {
    std::fprintf(stderr, "pg_bench: %s\n", qPrintable(why));
    ModuleDB::DbClose();
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    const PgBenchCluster cluster;
    if (const QString reason = cluster.unavailableReason(); !reason.isEmpty())
        return fail(reason);

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("ServerList.db"));
    ModuleDB::setDbPath(file);
    QElapsedTimer elapsed;
    elapsed.start();
    if (const QString failed = fillFile(options.rows); !failed.isEmpty())
        return fail(failed);
    const double fillFileMs = millisOf(elapsed);
    ModuleDB::DbClose();

    QString refused;
    const QString uri = cluster.createDatabase(kDatabase, &refused);
    if (uri.isEmpty())
        return fail(QStringLiteral("no database: ") + refused);
    elapsed.start();
    if (const QString failed = copyToPostgres(file, uri); !failed.isEmpty())
        return fail(QStringLiteral("the copy failed: ") + failed);
    const double copyMs = millisOf(elapsed);

    ServerRowModel model;
    const LoadPairs loads = measureLoadPairs(model, uri, options.rows, options.pairs);
    if (loads.ratio.median < 0)
        return fail(QStringLiteral("a list load failed: ") + ModuleDB::DbOfflineReason());

    if (!useFile())
        return fail(QStringLiteral("the catalogue file did not open"));
    const LoadParts fileParts = measureLoadParts(model, options.rows, options.stallLoads);
    if (!useDatabase(uri))
        return fail(ModuleDB::DbOfflineReason());
    const StallRuns stalls = measureStalls(model, options.rows, options.stallLoads);
    const LoadParts databaseParts = measureLoadParts(model, options.rows, options.stallLoads);
    if (!stalls.complete || databaseParts.readMs < 0 || fileParts.readMs < 0)
        return fail(QStringLiteral("a list load failed: ") + ModuleDB::DbOfflineReason());

    ServerListLoader::LoadServerList(model, ServerCatalogue::Selection::All);
    const Propagation propagation =
        measurePropagation(cluster, idsOf(model), options.changes, options.spacingMs);
    ModuleDB::DbClose();
    if (!propagation.failure.isEmpty())
        return fail(QStringLiteral("another copy's change failed: ") + propagation.failure);

    std::printf("PostgreSQL catalogue on loopback beside the file: N=%d servers, %d interleaved "
                "pairs of list loads, %d metered loads, %d changes %d ms apart\n",
                options.rows, options.pairs, options.stallLoads, options.changes,
                options.spacingMs);
    std::printf("  %-28s %.0f ms into the file (one transaction), %.0f ms from it into "
                "PostgreSQL\n",
                "catalogue filled", fillFileMs, copyMs);
    std::printf("  %-28s %.1f ms from the file, %.1f ms from PostgreSQL\n", "list load (median)",
                loads.fileMs.median, loads.databaseMs.median);
    std::printf("  %-28s %.2f (IQR %.2f, pairs' worst %.2f)\n", "PostgreSQL/file",
                loads.ratio.median, loads.ratio.iqr, loads.ratio.worst);
    std::printf("  %-28s %.2f ms over %d loads from PostgreSQL (median of the loads' longest "
                "%.2f ms)\n",
                "longest event wait", stalls.longestWaitMs.worst, options.stallLoads,
                stalls.longestWaitMs.median);
    printParts("UI thread, PostgreSQL load", databaseParts);
    printParts("UI thread, file load", fileParts);
    std::printf(
        "  %-28s median %.0f ms, worst %.0f ms (%d changes, %d not announced within %d ms)\n",
        "another copy's change", propagation.ms.median, propagation.ms.worst, options.changes,
        propagation.failed, ChangeTimeOutMs);
    if (options.summary)
        std::printf("pg_load_ratio=%.2f pg_load_ratio_iqr=%.2f pg_stall_ms=%.2f "
                    "pg_propagate_ms=median:%.0f,worst:%.0f pg_propagate_failed=%d\n",
                    loads.ratio.median, loads.ratio.iqr, stalls.longestWaitMs.worst,
                    propagation.ms.median, propagation.ms.worst, propagation.failed);
    return propagation.failed < options.changes ? 0 : 1;
}
