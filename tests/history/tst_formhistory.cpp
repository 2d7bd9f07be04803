#include "FakeClock.h"
#include "FileSizeLimit.h"

#include "history/HistoryStore.h"
#include "history/ui/FormHistory.h"

#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using O = ProbeOutcome;
using Range = HistoryQuery::Range;

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Day = 24 * 60 * Minute;

} // namespace

class TestFormHistory final : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath("History.db");
    }

    // A known hour: two correct replies, a wrong one, a time-out, three
    // answered echoes and a lost one; a correct reply three days before.
    void textsOfAKnownHistory() {
        const qint64 now = m_clock.utcMs();
        {
            HistoryStore store(QStringLiteral("fill"));
            QVERIFY(store.open(m_path));
            QVERIFY(store.append({
                {9, now - 3 * Day, O::Correct, 100, 0},
                {9, now - 50 * Minute, O::Correct, 20, 0},
                {9, now - 50 * Minute, O::EchoAnswered, 5, 0},
                {9, now - 40 * Minute, O::Correct, 40, 0},
                {9, now - 40 * Minute, O::EchoAnswered, 15, 0},
                {9, now - 30 * Minute, O::Wrong, 60, 0},
                {9, now - 30 * Minute, O::EchoLost, 0, 11010},
                {9, now - 20 * Minute, O::TimedOut, 10000, 0},
                {9, now - 20 * Minute, O::EchoAnswered, 10, 0},
                {8, now - 20 * Minute, O::Correct, 1, 0}, // another server
            }));
            QVERIFY(store.maintain(now, 7, 400));
        }
        FormHistory form(m_path, 9, QStringLiteral("网站"), true, m_clock);
        QCOMPARE(form.windowTitle(), QStringLiteral("历史记录 - 网站"));
        QVERIFY(form.LabelState->isHidden());

        form.showRange(Range::Hour);
        QCOMPARE(form.LabelSummary->text().split('\n'),
                 (QStringList{"可用率(24小时):50.00%", "可用率(7天):60.00%", "可用率(30天):60.00%",
                              "应答时间(1小时):最小 20ms  平均 40ms  最大 60ms  P95 60ms",
                              "Ping延时(1小时):最小 5ms  平均 10ms  最大 15ms  P95 15ms",
                              "SOCKET结果:4  异常:2", "Ping:4  丢包:1"}));
        // Every point of the chart is a row of the table too.
        const QAbstractItemModel* table = form.LstPoints->model();
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(table->headerData(1, Qt::Horizontal).toString(), QStringLiteral("应答时间(ms)"));
        const auto cell = [table](int row, int column) {
            return table->index(row, column).data().toString();
        };
        QCOMPARE(QStringList({cell(0, 1), cell(0, 2), cell(0, 3), cell(0, 4)}),
                 (QStringList{"20", "5", "0", "0"}));
        QCOMPARE(QStringList({cell(2, 1), cell(2, 2), cell(2, 3), cell(2, 4)}),
                 (QStringList{"60", "", "1", "1"}));
        QCOMPARE(QStringList({cell(3, 1), cell(3, 3)}), (QStringList{"", "1"}));
        const auto* reply = qobject_cast<QLineSeries*>(form.ChartHistory->chart()->series().at(0));
        QCOMPARE(reply->count(), 3);

        const QString csvPath = m_dir->filePath("hour.csv");
        QVERIFY(form.exportCsv(csvPath));
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(csv.readAll()).split("\r\n");
        QCOMPARE(rows.size(), 10); // header, 8 results, the empty end
        QCOMPARE(rows.at(0), QStringLiteral("时间,结果,毫秒,状态"));
        QCOMPARE(rows.at(1), QStringLiteral("2026-01-01T11:10:00.000Z,正确应答,20,0"));
        QCOMPARE(rows.at(6), QStringLiteral("2026-01-01T11:30:00.000Z,Ping丢包,0,11010"));
        QCOMPARE(rows.at(7), QStringLiteral("2026-01-01T11:40:00.000Z,SOCKET超时,10000,0"));

        // 30 days come from the aggregates: the 95th percentile is estimated.
        form.showRange(Range::Month);
        const QStringList month = form.LabelSummary->text().split('\n');
        QCOMPARE(month.at(3),
                 QStringLiteral("应答时间(30天):最小 20ms  平均 55ms  最大 100ms  P95 约100ms"));
        QCOMPARE(month.at(5), QStringLiteral("SOCKET结果:5  异常:2"));
        QCOMPARE(month.last(), QStringLiteral("(约:由5分钟汇总数据估算)"));
        QVERIFY(form.exportCsv(csvPath));
        csv.close();
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList buckets = QString::fromUtf8(csv.readAll()).split("\r\n");
        QVERIFY(buckets.at(0).startsWith(QStringLiteral("开始时间,SOCKET结果,异常,")));
        QCOMPARE(buckets.at(1), QStringLiteral("2025-12-29T12:00:00.000Z,1,0,1,100,100,100,100,0,0,"
                                               "0,0,0,0"));
    }

    // An export that cannot be written whole leaves the file it would
    // replace as it was.
    void aFailedExportKeepsTheOldFile() {
        {
            HistoryStore store(QStringLiteral("fill"));
            QVERIFY(store.open(m_path));
            QVERIFY(store.append({{9, m_clock.utcMs() - Minute, O::Correct, 20, 0}}));
        }
        FormHistory form(m_path, 9, QStringLiteral("网站"), true, m_clock);
        form.showRange(Range::Hour);
        const QString csvPath = m_dir->filePath("hour.csv");
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("kept\r\n");
        csv.close();
        {
            const FileSizeLimit full(4);
            QVERIFY(!form.exportCsv(csvPath));
        }
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(), QByteArray("kept\r\n"));
    }

    void noHistoryAndRecordingOff() {
        FormHistory form(m_path, 1, QStringLiteral("空"), false, m_clock);
        QVERIFY(!form.LabelState->isHidden());
        QVERIFY(form.LabelState->text().startsWith(QStringLiteral("历史记录已关闭")));
        QCOMPARE(form.LabelSummary->text().split('\n').mid(0, 4),
                 (QStringList{"可用率(24小时):无数据", "可用率(7天):无数据", "可用率(30天):无数据",
                              "应答时间(24小时):无数据"}));
        QVERIFY(!QFile::exists(m_path)); // looking makes no file
    }

    // The window only reads: while the file is held by a writer that keeps
    // readers out, it says the history is busy and leaves every file as it
    // is, the writer's included.
    void busyHistoryIsLeftAlone() {
        const qint64 now = m_clock.utcMs();
        {
            HistoryStore store(QStringLiteral("fill"));
            QVERIFY(store.open(m_path));
            QVERIFY(store.append({{3, now - Minute, O::Correct, 12, 0}}));
        }
        QSqlDatabase writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "writer");
        writer.setDatabaseName(m_path);
        QVERIFY(writer.open());
        {
            QSqlQuery hold(writer);
            QVERIFY(hold.exec("PRAGMA locking_mode=EXCLUSIVE"));
            QVERIFY(hold.exec("BEGIN EXCLUSIVE"));
            QVERIFY(hold.exec(QStringLiteral("INSERT INTO raw (server, t, kind, ms, status) "
                                             "VALUES (3, %1, 1, 13, 0)")
                                  .arg(now)));
        }
        const QStringList files = QDir(m_dir->path()).entryList(QDir::Files, QDir::Name);
        {
            FormHistory form(m_path, 3, QStringLiteral("忙"), true, m_clock);
            QVERIFY(!form.LabelState->isHidden());
            QCOMPARE(form.LabelState->text(),
                     QStringLiteral("历史记录文件正被占用，暂时无法读取，请稍后再打开本窗口。"));
            QCOMPARE(form.report().results, 0);
            QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), files);
        }
        QVERIFY(writer.commit());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), files);
        writer.close();
        writer = {};
        QSqlDatabase::removeDatabase("writer");
        FormHistory form(m_path, 3, QStringLiteral("忙"), true, m_clock);
        QVERIFY(form.LabelState->isHidden());
        QCOMPARE(form.report().results, 2);
    }

    // A year of 5-minute aggregates (a server probed every 30 s) draws at
    // most one point per pixel, quickly.
    void aYearDrawsQuickly() {
        const qint64 now = m_clock.utcMs();
        {
            HistoryStore store(QStringLiteral("year"));
            QVERIFY(store.open(m_path));
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("year"));
            QVERIFY(db.transaction());
            QSqlQuery insert(db);
            const QString columns =
                "(server, bucket, count, faults, replies, reply_min, reply_mean, "
                "reply_max, reply_p95, echoes, lost, echo_min, echo_mean, "
                "echo_max, echo_p95)";
            QVERIFY(insert.prepare("INSERT INTO agg " + columns +
                                   " VALUES (1, ?, 10, ?, 10, 20, 30, 80, 70, 10, ?, 1, 5, 9, 8)"));
            const qint64 first = (now - 365 * Day) / HistoryStore::BucketMs;
            const qint64 last = now / HistoryStore::BucketMs;
            for (qint64 bucket = first; bucket < last; ++bucket) {
                insert.bindValue(0, bucket);
                insert.bindValue(1, bucket % 97 == 0 ? 1 : 0);
                insert.bindValue(2, bucket % 89 == 0 ? 1 : 0);
                QVERIFY(insert.exec());
            }
            QSqlQuery hours(db);
            QVERIFY(
                hours.prepare("INSERT INTO agg_hour " + columns +
                              " VALUES (1, ?, 120, ?, 120, 20, 30, 80, 70, 120, ?, 1, 5, 9, 8)"));
            for (qint64 hour = first / 12; hour < last / 12; ++hour) {
                hours.bindValue(0, hour);
                hours.bindValue(1, hour % 7 == 0 ? 1 : 0);
                hours.bindValue(2, hour % 5 == 0 ? 1 : 0);
                QVERIFY(hours.exec());
            }
            QSqlQuery meta(db);
            QVERIFY(meta.exec(QStringLiteral("INSERT INTO meta VALUES ('aggregated_until', %1)")
                                  .arg(last * HistoryStore::BucketMs)));
            QVERIFY(db.commit());
        }
        FormHistory form(m_path, 1, QStringLiteral("一年"), true, m_clock);
        form.resize(900, 520);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QElapsedTimer timer;
        timer.start();
        form.showRange(Range::Year);
        form.grab();
        const qint64 elapsed = timer.elapsed();
        qInfo("1-year range drawn in %lld ms", elapsed);
        QVERIFY(form.report().aggregated);
        QVERIFY(form.report().points.size() <= form.ChartHistory->width());
        QVERIFY(form.report().points.size() > 100);
        QVERIFY(qAbs(form.report().results - 365 * 288 * 10) <= 120); // whole hours
        QCOMPARE(form.report().reply->max, 80);
        QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed))); // target 200 ms
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    FakeClock m_clock;
};

QTEST_MAIN(TestFormHistory)
#include "tst_formhistory.moc"
