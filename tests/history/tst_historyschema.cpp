#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <unistd.h>

using O = ProbeOutcome;

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Day = 24 * 60 * Minute;

// The test binary doubles as a process that opens a history file the way
// the writer does, prints the message and exits with 0 when it opened.
const char* const OpenHistory = "--open-history";

int openHistory(const QString& path) {
    HistoryStore store(QStringLiteral("helper"));
    const bool opened = store.open(path);
    std::fputs(store.message().toUtf8().constData(), stdout);
    return opened ? 0 : 1;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// A closed history file of some hundreds of pages.
void writeHistory(const QString& path, int results) {
    HistoryStore store(QStringLiteral("fill"));
    QVERIFY(store.open(path));
    QList<ProbeOutcome> outcomes;
    for (int i = 0; i < results; ++i)
        outcomes.append({i % 40 + 1, 1767268800000 + i * 1000LL, i % 2 ? O::Correct : O::EchoLost,
                         i % 300, i % 2 ? 0 : 11010});
    QVERIFY(store.append(outcomes));
    QVERIFY(store.maintain(1767268800000 + results * 1000LL, 7, 400));
}

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

    // A healthy file that another connection holds is waited for, then
    // reported as busy; it is never set aside, and once free it opens with
    // every row. A file of the previous version is not migrated while
    // another connection holds a write transaction.
    void lockedFileIsReportedNotSetAside_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("exclusive lock")
            << int(HistoryStore::SchemaVersion)
            << QStringList{"PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE",
                           "INSERT INTO meta VALUES ('held', 1)"};
        QTest::newRow("write transaction over the previous version")
            << 1 << QStringList{"BEGIN IMMEDIATE", "INSERT INTO meta VALUES ('held', 1)"};
    }
    void lockedFileIsReportedNotSetAside() {
        QFETCH(int, version);
        QFETCH(QStringList, statements);
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        const qint64 t = utc("2026-05-01T10:00:00.000Z");
        if (version == 1)
            writeVersion1(path, t);
        else
            writeHistory(path, 500);
        const QStringList files = filesIn(dir.path());
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "holder");
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        {
            QSqlQuery hold(holder);
            for (const QString& statement : std::as_const(statements))
                QVERIFY2(hold.exec(statement), qPrintable(statement));
        }
        {
            HistoryStore store(QStringLiteral("locked"));
            QVERIFY(!store.open(path));
            QVERIFY2(store.message().contains(QStringLiteral("正被其他程序占用")) &&
                         !store.message().contains(QStringLiteral("改名")),
                     qPrintable(store.message()));
        }
        QVERIFY(holder.rollback());
        holder.close();
        holder = {};
        QSqlDatabase::removeDatabase("holder");
        QCOMPARE(filesIn(dir.path()), files);

        HistoryStore store(QStringLiteral("free"));
        QVERIFY2(store.open(path), qPrintable(store.message()));
        QVERIFY(store.message().isEmpty());
        QVERIFY(!store.raw(1, 0, t + Day).isEmpty());
    }

    // A file the program may not write is reported as such, never set
    // aside. Permissions bind root only when it gives them up, so the check
    // runs in a process of the nobody user then.
    void unwritableFileIsReportedNotSetAside_data() {
        QTest::addColumn<bool>("folder");
        QTest::newRow("read-only folder") << true;
        QTest::newRow("read-only file") << false;
    }
    void unwritableFileIsReportedNotSetAside() {
        QFETCH(bool, folder);
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        writeHistory(path, 500);
        const QByteArray before = fileBytes(path);
        // For everyone, so that the nobody user gets as far as the file.
        const QFile::Permissions read =
            QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
        const QFile::Permissions write =
            QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        const QFile::Permissions enter =
            QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(path, folder ? read | write : read));
        QVERIFY(QFile::setPermissions(dir.path(), folder ? read | enter : read | write | enter));
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList arguments = {QLatin1String(OpenHistory), path};
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv to give the permissions up");
            helper.start(setpriv, QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                              QCoreApplication::applicationFilePath()} +
                                      arguments);
        } else {
            helper.start(QCoreApplication::applicationFilePath(), arguments);
        }
        QVERIFY(helper.waitForFinished(30000));
        const QString message = QString::fromUtf8(helper.readAllStandardOutput());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(helper.exitCode(), 1);
        QVERIFY2(message.contains(QStringLiteral("只读")) &&
                     !message.contains(QStringLiteral("改名")),
                 qPrintable(message));
        QCOMPARE(filesIn(dir.path()), QStringList{"History.db"});
        QCOMPARE(fileBytes(path), before);
    }

    // Damage inside a file whose header is intact is found when the file is
    // opened: it is set aside as it is and a new history begins, recorded
    // from the first result on.
    void damagedPagesAreSetAside() {
        QTemporaryDir dir;
        const QString path = dir.filePath("History.db");
        writeHistory(path, 60000);
        QByteArray content = fileBytes(path);
        constexpr qsizetype PageSize = 4096;
        const qsizetype pages = content.size() / PageSize;
        QVERIFY2(pages > 200, qPrintable(QString::number(pages)));
        QRandomGenerator random(20260501); // the same pages every run
        QList<qsizetype> damaged;
        while (damaged.size() < 20) {
            const qsizetype page = random.bounded(pages / 4, pages - pages / 4); // mid-file
            if (damaged.contains(page))
                continue;
            damaged.append(page);
            for (qsizetype i = 0; i < PageSize; ++i)
                content[page * PageSize + i] = char(random.bounded(256));
        }
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(file.write(content), content.size());
        }

        HistoryStore store(QStringLiteral("damaged"));
        QVERIFY2(store.open(path), qPrintable(store.message()));
        QVERIFY2(store.message().contains(QStringLiteral("已损坏")), qPrintable(store.message()));
        const QStringList aside =
            filesIn(dir.path())
                .filter(QRegularExpression(QStringLiteral("^History\\.db\\.\\d{8}-\\d{6}$")));
        QCOMPARE(aside.size(), 1);
        QVERIFY(store.message().contains(aside.first()));
        QCOMPARE(fileBytes(dir.filePath(aside.first())), content);
        const qint64 t = utc("2026-05-01T10:00:00.000Z");
        QVERIFY2(store.append({{1, t, O::Correct, 5, 0}}), qPrintable(store.message()));
        QVERIFY2(store.maintain(t + Minute, 7, 400), qPrintable(store.message()));
        QCOMPARE(store.buckets(1, 0, t + Minute).size(), 1);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], OpenHistory) == 0)
        return openHistory(QString::fromLocal8Bit(argv[2]));
    TestHistorySchema test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historyschema.moc"
