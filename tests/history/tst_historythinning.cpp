#include "FakeClock.h"

#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryThinning.h"
#include "monitor/MonitorSettings.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using O = ProbeOutcome;
using F = HistoryFigures;

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr int Passes = 20;

// Server 1's socket fails in passes 8 to 11 and its echo is lost in 8 and
// 9; server 2 answers throughout. Times vary so that the figures do.
QList<ProbeOutcome> pass(int p, qint64 time) {
    const bool socketDown = p >= 8 && p <= 11;
    const bool echoLost = p == 8 || p == 9;
    return {
        {1, time, socketDown ? O::TimedOut : O::Correct, socketDown ? 3000 : 10 + p % 7},
        {1, time + 1, echoLost ? O::EchoLost : O::EchoAnswered, echoLost ? 0 : 1 + p % 5,
         echoLost ? 11010 : 0},
        {2, time + 2, O::Correct, 20 + p % 3},
        {2, time + 3, O::EchoAnswered, 2 + p % 2},
    };
}

// The passes whose results a server kept raw, per sort.
struct Kept {
    QList<int> socket1, echo1, socket2, echo2;
};

struct Run {
    Kept kept;
    QMap<QPair<qint64, qint64>, F::Bucket> agg, hours;
    HistoryQuery::Report hour, day;
};

QMap<QPair<qint64, qint64>, F::Bucket> aggregatesIn(const QString& connection,
                                                    const QString& table) {
    QMap<QPair<qint64, qint64>, F::Bucket> rows;
    QSqlQuery query(QSqlDatabase::database(connection));
    if (!query.exec(QStringLiteral("SELECT server, bucket, count, faults, replies, reply_min, "
                                   "reply_mean, reply_max, reply_p95, echoes, lost, echo_min, "
                                   "echo_mean, echo_max, echo_p95, maintenance_count FROM %1")
                        .arg(table)))
        return rows;
    while (query.next()) {
        F::Bucket b;
        b.count = query.value(2).toInt();
        b.faults = query.value(3).toInt();
        b.replies = query.value(4).toInt();
        b.replyMin = query.value(5).toInt();
        b.replyMean = query.value(6).toInt();
        b.replyMax = query.value(7).toInt();
        b.replyP95 = query.value(8).toInt();
        b.echoes = query.value(9).toInt();
        b.lost = query.value(10).toInt();
        b.echoMin = query.value(11).toInt();
        b.echoMean = query.value(12).toInt();
        b.echoMax = query.value(13).toInt();
        b.echoP95 = query.value(14).toInt();
        b.maintenance = query.value(15).toInt();
        rows.insert({query.value(0).toLongLong(), query.value(1).toLongLong()}, b);
    }
    return rows;
}

// Twenty passes a minute apart recorded with every as N, then the file
// maintained; what it holds, and what the history window reads of server 1
// before the maintenance.
Run record(int every, const QString& path) {
    Run run;
    FakeClock clock;
    const qint64 start = clock.utcMs() + 30 * 1000;
    {
        MonitorSettings settings;
        settings.HistRawEvery = every;
        HistoryRecorder recorder(path, settings, clock);
        QSignalSpy flushed(&recorder, &HistoryRecorder::flushed);
        for (int p = 0; p < Passes; ++p) {
            for (const ProbeOutcome& outcome : pass(p, start + p * Minute))
                recorder.record(outcome);
            recorder.flush();
            if (!flushed.wait(5000))
                return run;
        }
    }
    const qint64 now = start + Passes * Minute;
    {
        const HistoryQuery query(path);
        run.hour = query.load(1, HistoryQuery::Range::Hour, now, 600);
        run.day = query.load(1, HistoryQuery::Range::Day, now, 600);
    }
    HistoryStore store(QStringLiteral("thinning%1").arg(every));
    if (!store.open(path) || !store.maintain(now, 7, 400))
        return run;
    QSqlQuery raw(QSqlDatabase::database(QStringLiteral("thinning%1").arg(every)));
    raw.exec(QStringLiteral("SELECT server, t, kind FROM raw ORDER BY id"));
    while (raw.next()) {
        const int p = int((raw.value(1).toLongLong() - start) / Minute);
        const bool socket = raw.value(2).toInt() <= O::TimedOut;
        if (raw.value(0).toInt() == 1)
            (socket ? run.kept.socket1 : run.kept.echo1).append(p);
        else
            (socket ? run.kept.socket2 : run.kept.echo2).append(p);
    }
    raw.finish();
    run.agg = aggregatesIn(QStringLiteral("thinning%1").arg(every), QStringLiteral("agg"));
    run.hours = aggregatesIn(QStringLiteral("thinning%1").arg(every), QStringLiteral("agg_hour"));
    return run;
}

ProbeOutcome at(qint64 server, qint64 time, O::Kind kind, qint32 ms) {
    return {server, time, kind, ms};
}

QList<int> allPasses() {
    QList<int> passes;
    for (int p = 0; p < Passes; ++p)
        passes.append(p);
    return passes;
}

// Counts and extremes as with every result raw; a mean merged from parts
// within its rounding, a 95th percentile within the extremes.
void compareFigures(const QMap<QPair<qint64, qint64>, F::Bucket>& got,
                    const QMap<QPair<qint64, qint64>, F::Bucket>& want) {
    QCOMPARE(got.keys(), want.keys());
    for (auto w = want.cbegin(); w != want.cend(); ++w) {
        const F::Bucket& g = got.value(w.key());
        QCOMPARE(g.count, w->count);
        QCOMPARE(g.faults, w->faults);
        QCOMPARE(g.replies, w->replies);
        QCOMPARE(g.replyMin, w->replyMin);
        QCOMPARE(g.replyMax, w->replyMax);
        QCOMPARE(g.echoes, w->echoes);
        QCOMPARE(g.lost, w->lost);
        QCOMPARE(g.echoMin, w->echoMin);
        QCOMPARE(g.echoMax, w->echoMax);
        QCOMPARE(g.maintenance, w->maintenance);
        QVERIFY(qAbs(g.replyMean - w->replyMean) <= 1);
        QVERIFY(qAbs(g.echoMean - w->echoMean) <= 1);
        QVERIFY(g.replyP95 >= g.replyMin && g.replyP95 <= g.replyMax);
        QVERIFY(g.echoP95 >= g.echoMin && g.echoP95 <= g.echoMax);
    }
}

} // namespace

class TestHistoryThinning final : public QObject {
    Q_OBJECT

private slots:
    void rawResultsThinnedAggregatesWhole_data() {
        QTest::addColumn<int>("every");
        QTest::addColumn<QList<int>>("socket1");
        QTest::addColumn<QList<int>>("echo1");
        QTest::addColumn<QList<int>>("server2");
        QTest::newRow("every result") << 1 << allPasses() << allPasses() << allPasses();
        QTest::newRow("every 5th and each change")
            << 5 << QList<int>{0, 5, 8, 10, 12, 15} << QList<int>{0, 5, 8, 10, 15}
            << QList<int>{0, 5, 10, 15};
        QTest::newRow("changes only within 1000")
            << MonitorSettings::MaxHistRawEvery << QList<int>{0, 8, 12} << QList<int>{0, 8, 10}
            << QList<int>{0};
    }

    void rawResultsThinnedAggregatesWhole() {
        QFETCH(int, every);
        QFETCH(QList<int>, socket1);
        QFETCH(QList<int>, echo1);
        QFETCH(QList<int>, server2);
        QTemporaryDir dir;
        const Run all = record(1, dir.filePath("all.db"));
        const Run thinned = record(every, dir.filePath("thinned.db"));
        QCOMPARE(thinned.kept.socket1, socket1);
        QCOMPARE(thinned.kept.echo1, echo1);
        QCOMPARE(thinned.kept.socket2, server2);
        QCOMPARE(thinned.kept.echo2, server2);

        // Two servers, four buckets, one hour.
        QCOMPARE(all.agg.size(), 8);
        compareFigures(thinned.agg, all.agg);
        compareFigures(thinned.hours, all.hours);

        // The window counts every result, read raw only where every result
        // is raw; held results show no outage.
        const qint64 start = FakeClock().utcMs() + 30 * 1000;
        for (const HistoryQuery::Report* report : {&thinned.hour, &thinned.day}) {
            QCOMPARE(report->results, Passes);
            QCOMPARE(report->faults, 4);
            QCOMPARE(report->echoes, Passes);
            QCOMPARE(report->lost, 2);
            QCOMPARE(report->availability.at(0).value_or(-1), 80.0);
            QCOMPARE(report->aggregated, every > 1);
            qint32 faults = 0;
            for (const HistoryQuery::Point& point : report->points) {
                faults += point.faults;
                if (point.faults > 0)
                    QVERIFY(point.timeUtcMs < start + 12 * Minute &&
                            point.timeUtcMs + F::BucketMs > start + 8 * Minute);
            }
            QCOMPARE(faults, 4);
        }
        QCOMPARE(thinned.hour.reply->min, all.hour.reply->min);
        QCOMPARE(thinned.hour.reply->max, all.hour.reply->max);
        QVERIFY(qAbs(thinned.hour.reply->mean - all.hour.reply->mean) <= 1);
    }

    // Held results wait for their bucket to be over, a grace after its
    // end; one that comes after its bucket was handed out goes on its own,
    // and a server forgotten takes what is held of it.
    void heldResultsHandedOutWhenTheirBucketIsOver_data() {
        QTest::addColumn<qint64>("laterMs"); // a result this long after the bucket's start
        QTest::addColumn<int>("handedOut");  // results of the first bucket handed out then
        QTest::newRow("within the bucket") << qint64(4 * Minute) << 0;
        QTest::newRow("within the grace") << F::BucketMs + HistoryThinning::GraceMs - 1 << 0;
        QTest::newRow("after the grace") << F::BucketMs + HistoryThinning::GraceMs << 3;
    }

    void heldResultsHandedOutWhenTheirBucketIsOver() {
        QFETCH(qint64, laterMs);
        QFETCH(int, handedOut);
        HistoryThinning thinning;
        const qint64 start = 100 * F::BucketMs;
        QList<ProbeOutcome> steady;
        for (int i = 0; i < 4; ++i)
            steady.append(at(7, start + i * Minute, O::Correct, 10 + i));
        const HistoryThinning::Batch first = thinning.take(steady, 10);
        QCOMPARE(first.raw.size(), 1);
        QVERIFY(first.folded.isEmpty());
        QCOMPARE(first.heldUntilUtcMs, start + 3 * Minute + 1);

        const HistoryThinning::Batch later =
            thinning.take({at(8, start + laterMs, O::EchoAnswered, 1)}, 10);
        QCOMPARE(later.raw.size(), 1);
        QCOMPARE(later.folded.value({7, 100}).count, handedOut);
        if (handedOut > 0) {
            QCOMPARE(later.folded.value({7, 100}).replyMin, 11);
            QCOMPARE(later.folded.value({7, 100}).replyMax, 13);
            // A late one of the bucket already handed out: on its own.
            const F::Bucket late = thinning.take({at(7, start + 4 * Minute, O::Correct, 99)}, 10)
                                       .folded.value({7, 100});
            QCOMPARE(late.count, 1);
            QCOMPARE(late.replyMax, 99);
        } else {
            thinning.forget(7);
            QVERIFY(thinning.takeAll().isEmpty());
            // Forgotten, its next result is the first again and kept.
            QCOMPARE(thinning.take({at(7, start + laterMs, O::Correct, 1)}, 10).raw.size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestHistoryThinning)
#include "tst_historythinning.moc"
