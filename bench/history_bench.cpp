// The history file's size per day of results, with every result raw and
// with only every Nth: a number of servers answering steadily (a socket and
// an echo result each per pass, a pass a minute of the results' own time)
// recorded through the history as the program records them, maintained
// every hour of that time and at the end, and the closed file measured by
// table. The size
// per result, times the results of 100,000 servers a minute apart, gives
// the bytes per day; the last line is the summary.

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "monitor/MonitorSettings.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr double FleetResultsPerDay = 100000.0 * 24 * 60 * 2;

struct Size {
    double rawBytes = 0; // the raw results and their index
    double aggBytes = 0; // the 5-minute and hourly aggregates
    double fileBytes = 0;
    qint64 rawRows = 0;
};

// What the tables of the closed file take, page by page where SQLite can
// say (dbstat), else the whole file as raw results.
Size measure(const QString& path) {
    Size size;
    size.fileBytes = double(QFileInfo(path).size());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("m"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM raw")) && query.next())
                size.rawRows = query.value(0).toLongLong();
            if (query.exec(QStringLiteral("SELECT name, SUM(pgsize) FROM dbstat GROUP BY name"))) {
                while (query.next()) {
                    const QString name = query.value(0).toString();
                    const double bytes = query.value(1).toDouble();
                    if (name.startsWith(QStringLiteral("raw")))
                        size.rawBytes += bytes;
                    else if (name.startsWith(QStringLiteral("agg")))
                        size.aggBytes += bytes;
                }
            } else {
                size.rawBytes = size.fileBytes;
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("m"));
    return size;
}

Size run(int servers, int passes, int every) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("History.db"));
    SystemClock clock;
    const qint64 start = clock.utcMs();
    {
        MonitorSettings settings;
        settings.HistRawEvery = every;
        HistoryRecorder history(path, settings, clock);
        QEventLoop written;
        QObject::connect(&history, &HistoryRecorder::flushed, &written, &QEventLoop::quit);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &written, &QEventLoop::quit);
        for (int p = 0; p < passes; ++p) {
            const qint64 time = start + p * Minute;
            for (int s = 1; s <= servers; ++s) {
                history.record({s, time, ProbeOutcome::Correct, 20 + (s + p) % 40});
                history.record({s, time + 1, ProbeOutcome::EchoAnswered, 1 + (s * 7 + p) % 9});
            }
            history.flush();
            guard.start(30000);
            written.exec();
            if ((p + 1) % 60 == 0)
                history.runMaintenance();
        }
    }
    // The last hour's raw results are aggregated too, as they will be.
    HistoryStore store(QStringLiteral("bench"));
    if (!store.open(path) || !store.maintain(clock.utcMs(), 7, 400))
        return {};
    store.close();
    return measure(path);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int servers = 2000;
    const int passes = 180;
    const double results = double(servers) * passes * 2;
    std::printf("%d servers, %d passes a minute apart, every result answered\n", servers, passes);
    QStringList summary;
    for (const int every : {1, 10}) {
        const Size size = run(servers, passes, every);
        const double rawPerDay = size.rawBytes / results * FleetResultsPerDay;
        const double aggPerDay = size.aggBytes / results * FleetResultsPerDay;
        std::printf("  HISTRAWEVERY=%-4d %lld raw rows, %.1f bytes per result (raw %.1f, "
                    "aggregates %.1f); 100,000 servers a minute apart: raw %.2f GB and "
                    "aggregates %.2f GB a day\n",
                    every, static_cast<long long>(size.rawRows), size.fileBytes / results,
                    size.rawBytes / results, size.aggBytes / results, rawPerDay / 1e9,
                    aggPerDay / 1e9);
        summary << QStringLiteral("history_gb_day_%1=%2")
                       .arg(every)
                       .arg((rawPerDay + aggPerDay) / 1e9, 0, 'f', 2);
    }
    std::printf("%s\n", qPrintable(summary.join(QLatin1Char(' '))));
    return 0;
}
