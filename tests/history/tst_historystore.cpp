#include "FakeClock.h"

#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "monitor/MonitorSettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using O = ProbeOutcome;

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Day = 24 * 60 * Minute;

qint64 utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

ProbeOutcome outcome(qint64 server, qint64 time, O::Kind kind, qint32 ms = 0, qint32 status = 0) {
    return {server, time, kind, ms, status};
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// Where the clock stands (minutes from the start) when some results come,
// written and then maintained there.
struct ClockStep {
    qint64 atMinute = 0;
    int correct = 0;
    int faults = 0;
};

} // namespace

Q_DECLARE_METATYPE(QList<ClockStep>)
Q_DECLARE_METATYPE(ProbeOutcome::Kind)

class TestHistoryStore final : public QObject {
    Q_OBJECT
private slots:
    void percentile95_data() {
        QTest::addColumn<QList<qint32>>("values");
        QTest::addColumn<qint32>("p95");
        QList<qint32> hundred, twenty;
        for (int i = 100; i >= 1; --i)
            hundred.append(i);
        for (int i = 1; i <= 20; ++i)
            twenty.append(i * 10);
        QTest::newRow("none") << QList<qint32>{} << 0;
        QTest::newRow("one") << QList<qint32>{42} << 42;
        QTest::newRow("1..100 unsorted") << hundred << 95;
        QTest::newRow("20 values: the 19th") << twenty << 190;
        QTest::newRow("one slow of 11") << QList<qint32>(10, 5) + QList<qint32>{900} << 900;
        QTest::newRow("one slow of 21") << QList<qint32>(20, 5) + QList<qint32>{900} << 5;
    }
    void percentile95() {
        QFETCH(QList<qint32>, values);
        QFETCH(qint32, p95);
        QCOMPARE(HistoryStore::percentile95(values), p95);
    }

    void storedAndReadBackWithTheSchemaVersion() {
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        {
            HistoryStore store(QStringLiteral("t1"));
            QVERIFY2(store.open(path), qPrintable(store.message()));
            QVERIFY(store.message().isEmpty());
            const qint64 t = utc("2026-05-01T10:00:00.000Z");
            QVERIFY(store.append({outcome(1, t, O::Correct, 15), outcome(1, t, O::EchoAnswered, 3),
                                  outcome(2, t + 5, O::EchoLost, 0, 11010),
                                  outcome(1, t + 30000, O::TimedOut, 10000)}));
            const QList<ProbeOutcome> one = store.raw(1, t, t + Minute);
            QCOMPARE(one.size(), 3);
            QCOMPARE(one.at(0).kind, O::Correct);
            QCOMPARE(one.at(0).ms, 15);
            QCOMPARE(one.at(2).kind, O::TimedOut);
            QCOMPARE(store.raw(2, t, t + Minute).value(0).status, 11010);
            QCOMPARE(store.raw(1, t + 1, t + 30000).size(), 0); // to is exclusive
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "peek");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA user_version") && q.next());
        QCOMPARE(q.value(0).toInt(), HistoryStore::SchemaVersion);
        QVERIFY(q.exec("PRAGMA journal_mode") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
        QVERIFY(q.exec("SELECT key, value FROM meta ORDER BY key"));
        QStringList meta;
        while (q.next())
            meta << q.value(0).toString() + '=' + q.value(1).toString();
        QCOMPARE(meta, (QStringList{"aggregated_id=0", "raw_from=0"}));
        q.finish();
        db.close();
        db = {};
        QSqlDatabase::removeDatabase("peek");
    }

    // A TLS probe's handshake time is stored with its result; a result
    // without one (a plain probe, an echo) stores NULL.
    void handshakeTimeStoredWithTheResult_data() {
        QTest::addColumn<O::Kind>("kind");
        QTest::addColumn<qint32>("handshakeMs");
        QTest::newRow("TLS, correct") << O::Correct << 37;
        QTest::newRow("TLS, under a millisecond") << O::Correct << 0;
        QTest::newRow("TLS, refused certificate") << O::SocketError << 12;
        QTest::newRow("plain, correct") << O::Correct << -1;
        QTest::newRow("plain, timed out") << O::TimedOut << -1;
        QTest::newRow("echo") << O::EchoAnswered << -1;
    }
    void handshakeTimeStoredWithTheResult() {
        QFETCH(O::Kind, kind);
        QFETCH(qint32, handshakeMs);
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        const qint64 t = utc("2026-05-01T10:00:00.000Z");
        {
            HistoryStore store(QStringLiteral("handshake"));
            QVERIFY2(store.open(path), qPrintable(store.message()));
            ProbeOutcome result = outcome(3, t, kind, 80);
            result.handshakeMs = handshakeMs;
            QVERIFY(store.append({result}));
            const QList<ProbeOutcome> read = store.raw(3, t, t + Minute);
            QCOMPARE(read.size(), 1);
            QCOMPARE(read.at(0).handshakeMs, handshakeMs);
            QCOMPARE(read.at(0).ms, 80);
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "peek");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT handshake_ms IS NULL FROM raw") && q.next());
            QCOMPARE(q.value(0).toBool(), handshakeMs < 0);
        }
        QSqlDatabase::removeDatabase("peek");
    }

    // Buckets are 5 minutes of UTC: a local midnight or a daylight-saving
    // change moves none of them.
    void bucketsAreUtcFiveMinutes_data() {
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<QList<qint64>>("starts");
        QTest::addColumn<QList<qint32>>("counts");
        QTest::newRow("UTC midnight")
            << QList<qint64>{utc("2026-03-28T23:57:00.000Z"), utc("2026-03-28T23:59:59.999Z"),
                             utc("2026-03-29T00:00:00.000Z"), utc("2026-03-29T00:04:59.999Z")}
            << QList<qint64>{utc("2026-03-28T23:55:00.000Z"), utc("2026-03-29T00:00:00.000Z")}
            << QList<qint32>{2, 2};
        // Berlin: 01:58 CET and 03:02 CEST are four minutes apart.
        const QTimeZone berlin("Europe/Berlin");
        const qint64 before =
            QDateTime(QDate(2026, 3, 29), QTime(1, 58), berlin).toMSecsSinceEpoch();
        const qint64 after = QDateTime(QDate(2026, 3, 29), QTime(3, 2), berlin).toMSecsSinceEpoch();
        QTest::newRow("spring forward")
            << QList<qint64>{before, after}
            << QList<qint64>{utc("2026-03-29T00:55:00.000Z"), utc("2026-03-29T01:00:00.000Z")}
            << QList<qint32>{1, 1};
        // Shanghai's midnight is 16:00 UTC; the bucket around it is whole.
        QTest::newRow("local midnight elsewhere")
            << QList<qint64>{utc("2026-07-01T15:58:00.000Z"), utc("2026-07-01T16:01:00.000Z")}
            << QList<qint64>{utc("2026-07-01T15:55:00.000Z"), utc("2026-07-01T16:00:00.000Z")}
            << QList<qint32>{1, 1};
    }
    void bucketsAreUtcFiveMinutes() {
        QFETCH(QList<qint64>, times);
        QFETCH(QList<qint64>, starts);
        QFETCH(QList<qint32>, counts);
        QTemporaryDir dir;
        HistoryStore store(QStringLiteral("t2"));
        QVERIFY(store.open(dir.filePath("History.db")));
        QList<ProbeOutcome> outcomes;
        for (const qint64 t : times)
            outcomes << outcome(7, t, O::Correct, 10);
        QVERIFY(store.append(outcomes));
        QVERIFY(store.maintain(times.last() + Day, 7, 400));
        const QList<HistoryStore::Bucket> buckets = store.buckets(7, 0, times.last() + Day);
        QCOMPARE(buckets.size(), starts.size());
        for (int i = 0; i < buckets.size(); ++i) {
            QCOMPARE(buckets.at(i).startUtcMs, starts.at(i));
            QCOMPARE(buckets.at(i).count, counts.at(i));
        }
    }

    // One bucket's figures from known results, and an aggregation that runs
    // again later adds only what came since.
    void aggregateFigures() {
        QTemporaryDir dir;
        HistoryStore store(QStringLiteral("t3"));
        QVERIFY(store.open(dir.filePath("History.db")));
        const qint64 t = utc("2026-05-01T10:00:00.000Z");
        QList<ProbeOutcome> outcomes;
        for (int i = 1; i <= 20; ++i) {
            outcomes << outcome(3, t + i * 1000, i % 5 == 0 ? O::Wrong : O::Correct, i * 10);
            outcomes << outcome(3, t + i * 1000 + 1, i <= 2 ? O::EchoLost : O::EchoAnswered, i);
        }
        outcomes << outcome(3, t + 100000, O::TimedOut, 10000)
                 << outcome(3, t + 100001, O::SocketError, 3);
        QVERIFY(store.append(outcomes));
        QVERIFY(store.maintain(t + 10 * Minute, 7, 400));
        QCOMPARE(store.aggregatedId(), 42);
        const QList<HistoryStore::Bucket> b = store.buckets(3, t, t + 10 * Minute);
        QCOMPARE(b.size(), 1);
        QCOMPARE(b.at(0).count, 22);
        QCOMPARE(b.at(0).faults, 6); // 4 wrong, a time-out, an error
        QCOMPARE(b.at(0).replies, 20);
        QCOMPARE(b.at(0).replyMin, 10);
        QCOMPARE(b.at(0).replyMax, 200);
        QCOMPARE(b.at(0).replyMean, 105);
        QCOMPARE(b.at(0).replyP95, 190);
        QCOMPARE(b.at(0).echoes, 20);
        QCOMPARE(b.at(0).lost, 2);
        QCOMPARE(b.at(0).echoMin, 3);
        QCOMPARE(b.at(0).echoMax, 20);
        QCOMPARE(b.at(0).echoP95, 20); // 18 answered: the 18th (ceil 17.1)

        // A bucket still open is aggregated with what it has; what comes
        // later is added to it by the next run.
        QVERIFY(store.append({outcome(3, t + 6 * Minute, O::Correct, 5)}));
        QVERIFY(store.maintain(t + 6 * Minute + 30000, 7, 400));
        QCOMPARE(store.buckets(3, t, t + Day).size(), 2);
        QVERIFY(store.append({outcome(3, t + 7 * Minute, O::Correct, 9)}));
        QVERIFY(store.maintain(t + 12 * Minute, 7, 400));
        const QList<HistoryStore::Bucket> both = store.buckets(3, t, t + Day);
        QCOMPARE(both.size(), 2);
        QCOMPARE(both.at(0).count, 22); // not counted twice
        QCOMPARE(both.at(1).count, 2);
        QCOMPARE(both.at(1).replyMin, 5);
        QCOMPARE(both.at(1).replyMean, 7);
        QCOMPARE(both.at(1).replyMax, 9);

        // The hour row holds both buckets, whichever run made them.
        const QList<HistoryStore::Totals> hour =
            store.spans(3, t, t + HistoryStore::HourMs, HistoryStore::HourMs);
        QCOMPARE(hour.size(), 1);
        QCOMPARE(hour.at(0).startUtcMs, t);
        QCOMPARE(hour.at(0).count, 24);
        QCOMPARE(hour.at(0).faults, 6);
        QCOMPARE(hour.at(0).replyMin, 5);
        QCOMPARE(hour.at(0).replyMax, 200);
        QCOMPARE(hour.at(0).replies, 22);
        QCOMPARE(hour.at(0).lost, 2);
    }

    // Raw results go after the raw days, aggregates after the history days;
    // a raw result goes only once the aggregates hold it.
    void retentionAndPruning() {
        QTemporaryDir dir;
        HistoryStore store(QStringLiteral("t4"));
        QVERIFY(store.open(dir.filePath("History.db")));
        const qint64 now = utc("2026-06-01T00:00:00.000Z");
        QVERIFY(store.append({outcome(1, now - 20 * Day, O::Correct, 1),
                              outcome(1, now - 5 * Day, O::Correct, 2),
                              outcome(1, now - 10 * Minute, O::Correct, 3),
                              outcome(1, now - 30000, O::Correct, 4)}));
        QVERIFY(store.maintain(now, 7, 10));
        QList<qint32> rawLeft;
        for (const ProbeOutcome& o : store.raw(1, 0, now + Day))
            rawLeft << o.ms;
        QCOMPARE(rawLeft, (QList<qint32>{2, 3, 4}));
        const auto aggregated = [&] {
            QList<qint32> minima;
            for (const HistoryStore::Bucket& b : store.buckets(1, 0, now + Day))
                minima << b.replyMin;
            return minima;
        };
        QCOMPARE(aggregated(), (QList<qint32>{2, 3, 4})); // 20 days is past 10
        QCOMPARE(store.spans(1, 0, now + Day, HistoryStore::HourMs).size(), 2);

        // Raw days of 0 (a hand-edited file) drop every raw result, all of
        // them in the aggregates by then.
        QVERIFY(store.append({outcome(1, now - Minute, O::Correct, 5)}));
        QVERIFY(store.maintain(now, 0, 10));
        QCOMPARE(store.raw(1, 0, now + Day).size(), 0);
        QCOMPARE(aggregated(), (QList<qint32>{2, 3, 4}));
        QCOMPARE(store.buckets(1, now - 5 * Minute, now).value(0).count, 2);
    }

    // Maintenance limited to some servers aggregates every server's new
    // results but prunes only theirs.
    void maintenanceOfGivenServers() {
        QTemporaryDir dir;
        HistoryStore store(QStringLiteral("t9"));
        QVERIFY(store.open(dir.filePath("History.db")));
        const qint64 now = utc("2026-06-01T00:00:00.000Z");
        QVERIFY(store.append({outcome(1, now - 9 * Day, O::Correct, 1),
                              outcome(2, now - 9 * Day, O::Correct, 2),
                              outcome(1, now - Day, O::Correct, 3)}));
        QVERIFY(store.maintain(now, 7, 400, QList<qint64>{1}));
        QCOMPARE(store.buckets(1, 0, now).size(), 2);
        QCOMPARE(store.buckets(2, 0, now).size(), 1);
        QCOMPARE(store.raw(1, 0, now).size(), 1);
        QCOMPARE(store.raw(2, 0, now).size(), 1); // not looked at
        QCOMPARE(store.aggregatedId(), 3);
    }

    void deletedServerTakesItsHistory() {
        QTemporaryDir dir;
        HistoryStore store(QStringLiteral("t5"));
        QVERIFY(store.open(dir.filePath("History.db")));
        const qint64 t = utc("2026-05-01T10:00:00.000Z");
        QVERIFY(store.append({outcome(1, t, O::Correct, 1), outcome(2, t, O::Correct, 2),
                              outcome(1, t + Day, O::Correct, 1)}));
        QVERIFY(store.maintain(t + 2 * Minute + 10 * Minute, 7, 400));
        QVERIFY(store.deleteServer(1));
        QCOMPARE(store.raw(1, 0, t + 2 * Day).size(), 0);
        QCOMPARE(store.buckets(1, 0, t + 2 * Day).size(), 0);
        QCOMPARE(store.spans(1, 0, t + 2 * Day, HistoryStore::HourMs).size(), 0);
        QCOMPARE(store.raw(2, 0, t + 2 * Day).size(), 1);
        QCOMPARE(store.buckets(2, 0, t + 2 * Day).size(), 1);
        QCOMPARE(store.spans(2, 0, t + 2 * Day, HistoryStore::HourMs).size(), 1);
    }

    // A file that is not a history, or one of a newer version, is renamed
    // aside with a timestamp and a fresh one takes its place.
    void foreignFilesAreSetAside_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("garbage") << 0 << QStringLiteral("已损坏");
        QTest::newRow("other tables") << 1 << QStringLiteral("已损坏");
        QTest::newRow("newer schema") << 2 << QStringLiteral("较新版本");
    }
    void foreignFilesAreSetAside() {
        QFETCH(int, kind);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        if (kind == 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, 'x'));
        } else {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "make");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("CREATE TABLE notes (x)"));
            if (kind == 2)
                QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = %1")
                                   .arg(HistoryStore::SchemaVersion + 1)));
            q.finish();
            db.close();
            db = {};
            QSqlDatabase::removeDatabase("make");
        }
        const QByteArray original = [&] {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            return file.readAll();
        }();

        HistoryStore store(QStringLiteral("t6"));
        QVERIFY(store.open(path));
        QVERIFY2(store.message().contains(says), qPrintable(store.message()));
        QVERIFY(store.append({outcome(1, 1000, O::Correct, 1)}));
        const QStringList aside =
            filesIn(dir.path())
                .filter(QRegularExpression(QStringLiteral("^History\\.db\\.\\d{8}-\\d{6}$")));
        QCOMPARE(aside.size(), 1);
        QVERIFY(store.message().contains(aside.first()));
        QFile kept(dir.filePath(aside.first()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), original);
    }

    void unwritableFolder() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        HistoryStore store(QStringLiteral("t7"));
        QVERIFY(!store.open(dir.filePath("folder/History.db")));
        QVERIFY2(store.message().contains(QStringLiteral("无法打开历史记录文件")),
                 qPrintable(store.message()));
        QVERIFY(!store.isOpen());
    }

    // The recorder buffers on the caller's thread and writes at most once a
    // second, in one piece, off that thread.
    void recorderBatchesOncePerSecond() {
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        MonitorSettings settings;
        FakeClock clock;
        HistoryRecorder recorder(path, settings, clock);
        QSignalSpy flushed(&recorder, &HistoryRecorder::flushed);
        QSignalSpy warnings(&recorder, &HistoryRecorder::warning);
        const qint64 t = clock.utcMs();
        for (int i = 0; i < 50; ++i)
            recorder.record(outcome(1, t + i, O::Correct, i));
        QTest::qWait(200);
        for (int i = 50; i < 100; ++i)
            recorder.record(outcome(1, t + i, O::EchoAnswered, i));
        QVERIFY(flushed.wait(5000));
        QCOMPARE(flushed.size(), 1);
        HistoryStore reader(QStringLiteral("t8"));
        QVERIFY(reader.open(path));
        QCOMPARE(reader.raw(1, t, t + 1000).size(), 100);

        // Off: nothing is kept. Deleting drops buffered results too.
        settings.History = 0;
        recorder.record(outcome(2, t, O::Correct, 1));
        settings.History = 1;
        recorder.record(outcome(3, t, O::Correct, 1));
        recorder.forgetServer(3);
        recorder.record(outcome(4, t, O::Correct, 1));
        QVERIFY(flushed.wait(5000));
        QCOMPARE(reader.raw(2, 0, t + Day).size(), 0);
        QCOMPARE(reader.raw(3, 0, t + Day).size(), 0);
        QCOMPARE(reader.raw(4, 0, t + Day).size(), 1);

        // Hourly maintenance on the writer's thread aggregates what was written.
        clock.advance(10 * Minute);
        recorder.runMaintenance();
        recorder.record(outcome(5, clock.utcMs(), O::Correct, 1));
        QVERIFY(flushed.wait(5000));
        const QList<HistoryStore::Bucket> first = reader.buckets(1, t - Day, t + Day);
        QCOMPARE(first.size(), 1);
        QCOMPARE(first.at(0).count, 50);
        QCOMPARE(first.at(0).echoes, 50);
        QCOMPARE(reader.buckets(4, t - Day, t + Day).size(), 1);
        QCOMPARE(warnings.size(), 0);
    }

    // The aggregation follows what has been written, not the wall clock: a
    // clock stepped back loses nothing when the raw results expire, and a
    // clock briefly ahead keeps nothing that comes after it out of the
    // aggregates.
    void aggregationFollowsTheResultsNotTheClock_data() {
        QTest::addColumn<QList<ClockStep>>("steps");
        QTest::addColumn<qint64>("checkAtMinute");
        QTest::addColumn<int>("results"); // in the 30-day view at the check
        QTest::addColumn<double>("availability24h");
        QTest::newRow("clock stepped back an hour, raw results expired since")
            << QList<ClockStep>{{30, 3, 0}, {-30, 2, 1}, {2 * 24 * 60, 1, 0}}
            << qint64(2 * 24 * 60 + 10) << 7 << 100.0;
        QTest::newRow("clock three hours ahead, then right again")
            << QList<ClockStep>{{0, 2, 0}, {3 * 60, 1, 0}, {10, 2, 1}} << qint64(20) << 5 << 80.0;
    }
    void aggregationFollowsTheResultsNotTheClock() {
        QFETCH(QList<ClockStep>, steps);
        QFETCH(qint64, checkAtMinute);
        QFETCH(int, results);
        QFETCH(double, availability24h);
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        MonitorSettings settings;
        settings.HistRawDays = 1;
        FakeClock clock;
        const qint64 start = clock.utcMs();
        const auto moveTo = [&](qint64 minute) {
            clock.advance(start + minute * Minute - clock.utcMs());
        };
        HistoryRecorder recorder(path, settings, clock);
        QSignalSpy flushed(&recorder, &HistoryRecorder::flushed);
        // Another server's result behind the work asked for so far.
        const auto settle = [&] {
            recorder.record(outcome(99, clock.utcMs(), O::Correct, 1));
            recorder.flush();
            QVERIFY(flushed.wait(5000));
        };
        for (const ClockStep& step : std::as_const(steps)) {
            moveTo(step.atMinute);
            for (int i = 0; i < step.correct + step.faults; ++i)
                recorder.record(outcome(1, clock.utcMs() + i,
                                        i < step.correct ? O::Correct : O::TimedOut, 10 + i));
            settle();
            recorder.runMaintenance();
            settle();
        }
        moveTo(checkAtMinute);
        const HistoryQuery query(path);
        const HistoryQuery::Report month =
            query.load(1, HistoryQuery::Range::Month, clock.utcMs(), 500);
        QCOMPARE(month.results, results);
        QCOMPARE(month.availability.at(0).value_or(-1), availability24h);
    }

    // A history that cannot be written warns once and keeps nothing more.
    void recorderDropsHistoryWhenTheFileCannotBeWritten() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        MonitorSettings settings;
        FakeClock clock;
        HistoryRecorder recorder(dir.filePath("folder/History.db"), settings, clock);
        QSignalSpy warnings(&recorder, &HistoryRecorder::warning);
        QVERIFY(warnings.wait(5000));
        QVERIFY(recorder.isDropped());
        for (int i = 0; i < 10; ++i)
            recorder.record(outcome(1, clock.utcMs(), O::Correct, 1));
        recorder.flush();
        QTest::qWait(50);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().first().toString().contains(QStringLiteral("历史记录")));
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
