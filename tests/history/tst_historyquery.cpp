#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using O = ProbeOutcome;
using Range = HistoryQuery::Range;

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Day = 24 * 60 * Minute;
// 2026-01-01 12:00 UTC
constexpr qint64 Now = 1767268800000;

} // namespace

class TestHistoryQuery final : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath("History.db");
    }

    // The recorder's maintenance mark reaches the file: such a result counts
    // in no figure.
    void appendedMaintenanceMarkIsKept() {
        const qint64 t = Now - 20 * Minute;
        {
            HistoryStore store(QStringLiteral("fill"));
            QVERIFY(store.open(m_path));
            QVERIFY(store.append({{4, t, O::Correct, 20, 0, -1, false},
                                  {4, t + 1000, O::TimedOut, 10000, 0, -1, true},
                                  {4, t + 2000, O::EchoLost, 0, 11010, -1, true}}));
        }
        const HistoryQuery::Report report = HistoryQuery(m_path).load(4, Range::Hour, Now, 500);
        QCOMPARE(report.results, 1);
        QCOMPARE(report.faults, 0);
        QCOMPARE(report.echoes, 0);
    }

    // Results marked as taken during maintenance count in no figure: not in
    // availability, not in the totals, not in the times, read raw or from
    // the aggregates; the aggregates count them apart.
    void maintenanceResultsAreLeftOut_data() {
        QTest::addColumn<Range>("range");
        QTest::addColumn<bool>("aggregated");
        QTest::newRow("raw results") << Range::Hour << false;
        QTest::newRow("aggregates") << Range::Month << true;
    }
    void maintenanceResultsAreLeftOut() {
        QFETCH(Range, range);
        QFETCH(bool, aggregated);
        const qint64 t = Now - 20 * Minute;
        {
            HistoryStore store(QStringLiteral("fill"));
            QVERIFY(store.open(m_path));
            QVERIFY(store.append({{4, t, O::Correct, 20, 0},
                                  {4, t + 1000, O::TimedOut, 10000, 0},
                                  {4, t + 2000, O::EchoAnswered, 6, 0}}));
            QSqlQuery marked(QSqlDatabase::database(QStringLiteral("fill")));
            QVERIFY(marked.exec(
                QStringLiteral("INSERT INTO raw (server, t, kind, ms, status, maintenance) VALUES "
                               "(4, %1, 4, 10000, 0, 1), (4, %2, 3, 5, 0, 1), "
                               "(4, %3, 1, 900, 0, 1), (4, %4, 6, 0, 11010, 1), "
                               "(4, %5, 6, 0, 11010, 1), (4, %6, 2, 800, 0, 1), "
                               "(4, %7, 4, 10000, 0, 1)")
                    .arg(t + 3000)
                    .arg(t + 4000)
                    .arg(t + 5000)
                    .arg(t + 6000)
                    .arg(t + 7000)
                    .arg(t + 8000)
                    .arg(t - 10 * Minute))); // a bucket of its own
            marked.finish();
            if (aggregated) {
                QVERIFY(store.maintain(Now + 10 * Minute, 7, 400));
                const QList<HistoryStore::Bucket> buckets = store.buckets(4, 0, Now);
                QCOMPARE(buckets.size(), 2);
                QCOMPARE(buckets.at(0).count + buckets.at(0).echoes, 0);
                QCOMPARE(buckets.at(0).maintenance, 1);
                QCOMPARE(buckets.at(1).count, 2);
                QCOMPARE(buckets.at(1).faults, 1);
                QCOMPARE(buckets.at(1).echoes, 1);
                QCOMPARE(buckets.at(1).replyMax, 20);
                QCOMPARE(buckets.at(1).maintenance, 6);
                QCOMPARE(store.spans(4, 0, Now, HistoryStore::HourMs).value(0).count, 2);
            }
        }
        const HistoryQuery query(m_path);
        const HistoryQuery::Report report = query.load(4, range, Now, 500);
        QCOMPARE(report.aggregated, aggregated);
        QCOMPARE(report.results, 2);
        QCOMPARE(report.faults, 1);
        QCOMPARE(report.echoes, 1);
        QCOMPARE(report.lost, 0);
        QVERIFY(report.reply);
        QCOMPARE(report.reply->max, 20);
        QCOMPARE(report.points.size(), 1);
        for (const std::optional<double>& availability : report.availability)
            QCOMPARE(availability.value_or(-1), 50.0);
        const QStringList rows = query.csv(report).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), aggregated ? 2 : 4); // the header, then buckets or results
    }

    // A week of results, one every 20 minutes, whatever part of it is still
    // kept raw: the week's view counts every result, from its first day to
    // its last, in the chart, the figures and the CSV. Where part of it is
    // read from the aggregates, its 95th percentile is an estimate.
    void rangesCoverWhatTheySay_data() {
        QTest::addColumn<int>("rawDays");
        QTest::addColumn<bool>("aggregated");
        QTest::newRow("raw kept 1 day") << 1 << true;
        QTest::newRow("raw kept 2 days") << 2 << true;
        QTest::newRow("raw kept 6 days") << 6 << true;
        QTest::newRow("raw kept 7 days") << 7 << false;
    }
    void rangesCoverWhatTheySay() {
        QFETCH(int, rawDays);
        QFETCH(bool, aggregated);
        QList<ProbeOutcome> week;
        int faults = 0;
        for (qint64 t = Now - 7 * Day + 10 * Minute; t < Now; t += 20 * Minute) {
            const bool fault = week.size() % 7 == 3;
            faults += fault ? 1 : 0;
            week.append({5, t, fault ? O::TimedOut : O::Correct, qint32(week.size() % 50 + 1), 0});
        }
        {
            HistoryStore store(QStringLiteral("fill"));
            QVERIFY(store.open(m_path));
            QVERIFY(store.append(week));
            QVERIFY(store.maintain(Now, rawDays, 400));
        }
        const HistoryQuery query(m_path);
        const HistoryQuery::Report report = query.load(5, Range::Week, Now, 700);
        QCOMPARE(report.aggregated, aggregated);
        QCOMPARE(report.results, week.size());
        QCOMPARE(report.faults, faults);
        QVERIFY(!report.points.isEmpty());
        QVERIFY(report.points.last().timeUtcMs - report.points.first().timeUtcMs > 6 * Day);
        QCOMPARE(report.reply->min, 1);
        QCOMPARE(report.reply->max, 50);
        QCOMPARE(report.availability.at(1).value_or(-1),
                 100.0 * double(week.size() - faults) / double(week.size()));
        const QStringList rows = query.csv(report).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), week.size() + 1); // one result in each bucket
        QCOMPARE(HistoryQuery::summaryLines(report).last() ==
                     QStringLiteral("(约:由5分钟汇总数据估算)"),
                 aggregated);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestHistoryQuery)
#include "tst_historyquery.moc"
