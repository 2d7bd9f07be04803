#include "history/HistoryStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#if defined(__SANITIZE_ADDRESS__)
#define HISTORY_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HISTORY_TEST_SANITIZED 1
#endif
#endif

namespace {

constexpr qint64 Day = 24 * 3600 * 1000;
// 2026-01-01 12:00 UTC
constexpr qint64 Start = 1767268800000;

#ifdef HISTORY_TEST_SANITIZED
// The sanitizer keeps freed memory in quarantine and pads every allocation,
// so the resident size says nothing about what the code holds; a smaller
// file still checks that every result is aggregated.
constexpr qint64 Servers = 250;
#else
constexpr qint64 Servers = 1000;
#endif
// Every 5 s, alternately socket and echo results; a multiple of 100.
constexpr qint64 Passes = 2000;

// A figure of /proc/self/status in bytes; -1 where there is none.
qint64 statusBytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+) kB$").arg(QLatin1String(field)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() * 1024 : -1;
}

// Starts the peak resident size afresh at the current size, where the
// kernel allows it.
bool resetPeak() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

class TestHistoryMaintenance final : public QObject {
    Q_OBJECT
private slots:
    // Maintenance after a long time without it (2 million results of 1,000
    // servers) works through the results in bounded pieces: the process's
    // peak resident size grows by far less than the results would take in
    // memory (some 64 MB as bare records), and every result ends in the
    // aggregates.
    void maintenanceMemoryStaysBounded() {
        QTemporaryDir dir;
        HistoryStore store(QStringLiteral("big"));
        QVERIFY(store.open(dir.filePath("History.db")));
        QElapsedTimer timer;
        timer.start();
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("big"));
            QVERIFY(db.transaction());
            QSqlQuery insert(db);
            // Written as the recorder would, a hundred passes at a time
            // (each server's results of them one after another, which
            // keeps the insert quick).
            QVERIFY(insert.prepare(
                "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?), "
                "r(server, pass) AS (SELECT (i % ?) / 100 + 1, (i / ?) * 100 + i % 100 FROM n) "
                "INSERT INTO raw (server, t, kind, ms, status) SELECT server, "
                "? + pass * 5000 + server, 1 + (pass % 2) * 4, 1 + (server + pass) % 97, 0 FROM "
                "r"));
            for (const qint64 value : {Servers * Passes, Servers * 100, Servers * 100, Start})
                insert.addBindValue(value);
            QVERIFY(insert.exec());
            QVERIFY(db.commit());
        }
        qInfo("%lld results written in %lld ms", Servers * Passes, timer.restart());

        const qint64 before = statusBytes("VmRSS");
        if (before < 0)
            QSKIP("no /proc/self/status to measure the resident size");
        const qint64 peakBefore = resetPeak() ? before : statusBytes("VmHWM");
        QVERIFY(store.maintain(Start + Passes * 5000 + Day, 7, 400));
        const qint64 growth = statusBytes("VmHWM") - peakBefore;
        qInfo("maintenance took %lld ms; the peak resident size grew by %.1f MB", timer.elapsed(),
              double(growth) / (1024 * 1024));

        QSqlQuery sums(QSqlDatabase::database(QStringLiteral("big")));
        for (const char* table : {"agg", "agg_hour"}) {
            QVERIFY(sums.exec(QStringLiteral("SELECT SUM(count), SUM(echoes) FROM %1")
                                  .arg(QLatin1String(table))) &&
                    sums.next());
            QCOMPARE(sums.value(0).toLongLong() + sums.value(1).toLongLong(), Servers * Passes);
        }
        sums.finish();
#ifdef HISTORY_TEST_SANITIZED
        QSKIP("the resident size is not a measure of memory under the sanitizer");
#endif
        QVERIFY2(growth < 24 * 1024 * 1024, qPrintable(QString::number(growth)));
    }
};

QTEST_GUILESS_MAIN(TestHistoryMaintenance)
#include "tst_historymaintenance.moc"
