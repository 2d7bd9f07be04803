#include "history/HistoryStore.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using O = ProbeOutcome;

namespace {

constexpr qint64 Minute = 60 * 1000;

qint64 utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

// Statements on a connection of the test's own, closed again at the end.
class Peek final {
    Q_DISABLE_COPY_MOVE(Peek)
public:
    explicit Peek(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name());
        db.setDatabaseName(path);
        m_open = db.open();
    }
    ~Peek() {
        QSqlDatabase::database(name(), false).close();
        QSqlDatabase::removeDatabase(name());
    }
    bool isOpen() const { return m_open; }
    bool exec(const QString& sql) const {
        QSqlQuery query(QSqlDatabase::database(name(), false));
        return query.exec(sql);
    }
    // The first column of every row.
    QVariantList column(const QString& sql) const {
        QVariantList values;
        QSqlQuery query(QSqlDatabase::database(name(), false));
        if (!query.exec(sql))
            return {QStringLiteral("failed: ") + sql};
        while (query.next())
            values << query.value(0);
        return values;
    }
    QVariant value(const QString& sql) const { return column(sql).value(0); }

private:
    static QString name() { return QStringLiteral("peek"); }
    bool m_open = false;
};

QStringList columnsOf(const Peek& peek, const QString& table) {
    QStringList names;
    for (const QVariant& name :
         peek.column(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table)))
        names << name.toString();
    return names;
}

// A history file as the first version of the program wrote it.
void writeVersion1(const QString& path, qint64 t) {
    const Peek peek(path);
    QVERIFY(peek.isOpen());
    const QString agg =
        QStringLiteral("CREATE TABLE %1 (server INTEGER NOT NULL, bucket INTEGER NOT NULL, "
                       "count INTEGER, faults INTEGER, replies INTEGER, reply_min INTEGER, "
                       "reply_mean INTEGER, reply_max INTEGER, reply_p95 INTEGER, echoes INTEGER, "
                       "lost INTEGER, echo_min INTEGER, echo_mean INTEGER, echo_max INTEGER, "
                       "echo_p95 INTEGER, PRIMARY KEY (server, bucket)) WITHOUT ROWID");
    const qint64 bucket = t / HistoryStore::BucketMs;
    for (const QString& sql : {
             QStringLiteral("PRAGMA journal_mode=WAL"),
             QStringLiteral("CREATE TABLE raw (server INTEGER NOT NULL, t INTEGER NOT NULL, "
                            "kind INTEGER NOT NULL, ms INTEGER NOT NULL, status INTEGER NOT NULL, "
                            "PRIMARY KEY (server, t, kind)) WITHOUT ROWID"),
             agg.arg(QStringLiteral("agg")),
             agg.arg(QStringLiteral("agg_hour")),
             QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER)"),
             // Inserted out of time order: ids follow the time, not this order.
             QStringLiteral("INSERT INTO raw VALUES (1, %1, 1, 30, 0), (2, %2, 6, 0, 11010), "
                            "(1, %3, 5, 4, 0), (1, %2, 4, 10000, 0), (2, %4, 1, 7, 0)")
                 .arg(t + 6 * Minute)
                 .arg(t + 2 * Minute)
                 .arg(t + Minute)
                 .arg(t + 7 * Minute),
             QStringLiteral(
                 "INSERT INTO agg VALUES (1, %1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 4, 4, 4, 4), "
                 "(2, %1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0)")
                 .arg(bucket),
             QStringLiteral("INSERT INTO agg_hour VALUES (1, %1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 4, 4, "
                            "4, 4), (2, %1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0)")
                 .arg(t / HistoryStore::HourMs),
             QStringLiteral("INSERT INTO meta VALUES ('aggregated_until', %1)")
                 .arg((bucket + 1) * HistoryStore::BucketMs),
             QStringLiteral("PRAGMA user_version = 1"),
         })
        QVERIFY2(peek.exec(sql), qPrintable(sql));
}

QList<qint32> msOf(const QList<ProbeOutcome>& outcomes) {
    QList<qint32> ms;
    for (const ProbeOutcome& outcome : outcomes)
        ms << outcome.ms;
    return ms;
}

} // namespace

class TestHistorySchema final : public QObject {
    Q_OBJECT
private slots:
    // A file of the previous version is brought up to this one in place:
    // every row kept, ids in time order, the aggregated ones below the
    // watermark, the new columns at their defaults.
    void previousVersionMigratesInPlace() {
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        const qint64 t = utc("2026-05-01T10:00:00.000Z");
        writeVersion1(path, t);
        {
            HistoryStore store(QStringLiteral("migrate"));
            QVERIFY2(store.open(path), qPrintable(store.message()));
            QVERIFY2(store.message().isEmpty(), qPrintable(store.message()));
            QCOMPARE(msOf(store.raw(1, 0, t + HistoryStore::HourMs)),
                     (QList<qint32>{4, 10000, 30}));
            QCOMPARE(msOf(store.raw(2, 0, t + HistoryStore::HourMs)), (QList<qint32>{0, 7}));
            QCOMPARE(store.raw(2, 0, t + HistoryStore::HourMs).at(0).status, 11010);
            const QList<HistoryStore::Bucket> buckets = store.buckets(1, 0, t + Minute);
            QCOMPARE(buckets.size(), 1);
            QCOMPARE(buckets.at(0).count, 1);
            QCOMPARE(buckets.at(0).echoMax, 4);
            QCOMPARE(buckets.at(0).maintenance, 0);
            QCOMPARE(store.spans(2, 0, t + Minute, HistoryStore::HourMs).value(0).lost, 1);
            QVERIFY(store.append({{1, t + 8 * Minute, O::Correct, 31, 0}}));
        }
        const Peek peek(path);
        QCOMPARE(peek.value("PRAGMA user_version").toInt(), HistoryStore::SchemaVersion);
        QCOMPARE(peek.value("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
        QCOMPARE(peek.column("SELECT t FROM raw ORDER BY id"),
                 (QVariantList{t + Minute, t + 2 * Minute, t + 2 * Minute, t + 6 * Minute,
                               t + 7 * Minute, t + 8 * Minute}));
        QCOMPARE(peek.column("SELECT key FROM meta ORDER BY key"),
                 (QVariantList{"aggregated_id", "raw_from"}));
        QCOMPARE(peek.value("SELECT value FROM meta WHERE key = 'raw_from'").toLongLong(),
                 t + Minute);
        QCOMPARE(peek.value("SELECT value FROM meta WHERE key = 'aggregated_id'").toLongLong(), 3);
        QCOMPARE(
            peek.value("SELECT COUNT(*) FROM raw WHERE maintenance = 0 AND handshake_ms IS NULL")
                .toInt(),
            6);
        for (const char* column : {"id", "maintenance", "handshake_ms"})
            QVERIFY(columnsOf(peek, "raw").contains(QLatin1String(column)));
        QVERIFY(columnsOf(peek, "agg").contains("maintenance_count"));
        QVERIFY(columnsOf(peek, "agg_hour").contains("maintenance_count"));
        QCOMPARE(peek.value("SELECT COUNT(*) FROM agg_hour").toInt(), 2);
        QCOMPARE(peek.value("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
    }
};

QTEST_GUILESS_MAIN(TestHistorySchema)
#include "tst_historyschema.moc"
