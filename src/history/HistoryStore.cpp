#include "history/HistoryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 DayMs = 24 * 3600 * 1000;
// Results still on their way to the file when maintenance runs.
constexpr qint64 SettleMs = 60 * 1000;

const QString AggregatedUntilKey = QStringLiteral("aggregated_until");

QSqlDatabase database(const QString& connection) {
    return QSqlDatabase::database(connection, false);
}

qint64 floorDiv(qint64 value, qint64 divisor) {
    qint64 quotient = value / divisor;
    if (value % divisor != 0 && value < 0)
        --quotient;
    return quotient;
}

struct Figures {
    qint32 min = 0, mean = 0, max = 0, p95 = 0;
};

Figures figuresOf(QList<qint32>& values) {
    Figures figures;
    if (values.isEmpty())
        return figures;
    qint64 sum = 0;
    for (const qint32 value : values)
        sum += value;
    figures.p95 = HistoryStore::percentile95(values); // sorts
    figures.min = values.first();
    figures.max = values.last();
    figures.mean = static_cast<qint32>(std::llround(double(sum) / double(values.size())));
    return figures;
}

} // namespace

QString HistoryStore::pathBesideCatalogue(const QString& cataloguePath) {
    return QFileInfo(cataloguePath).absoluteDir().filePath(QStringLiteral("History.db"));
}

HistoryStore::HistoryStore(const QString& connectionName)
    : m_connection(connectionName) {}

HistoryStore::~HistoryStore() {
    close();
}

bool HistoryStore::isOpen() const {
    return database(m_connection).isOpen();
}

void HistoryStore::close() {
    if (!QSqlDatabase::contains(m_connection))
        return;
    database(m_connection).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool HistoryStore::exec(const QString& sql, const QVariantList& values) {
    QSqlQuery query(database(m_connection));
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

bool HistoryStore::openFile(const QString& path) {
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        m_message = db.lastError().text();
        return false;
    }
    return true;
}

// True when the file is a history of a version this program reads or an
// empty database; version tells which.
bool HistoryStore::schemaUsable(int& version) {
    QSqlQuery query(database(m_connection));
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        version = -1;
        return false;
    }
    version = query.value(0).toInt();
    query.finish();
    if (version > SchemaVersion)
        return false;
    QSqlQuery tables(database(m_connection));
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")))
        return false;
    QStringList names;
    while (tables.next())
        names.append(tables.value(0).toString());
    if (version == 0)
        return names.isEmpty();
    return names.contains(QStringLiteral("raw")) && names.contains(QStringLiteral("agg")) &&
           names.contains(QStringLiteral("meta"));
}

bool HistoryStore::createSchema() {
    QSqlDatabase db = database(m_connection);
    if (!db.transaction())
        return false;
    const bool made =
        exec(QStringLiteral("CREATE TABLE raw (server INTEGER NOT NULL, t INTEGER NOT NULL, "
                            "kind INTEGER NOT NULL, ms INTEGER NOT NULL, status INTEGER NOT NULL, "
                            "PRIMARY KEY (server, t, kind)) WITHOUT ROWID")) &&
        exec(QStringLiteral(
            "CREATE TABLE agg (server INTEGER NOT NULL, bucket INTEGER NOT NULL, "
            "count INTEGER, faults INTEGER, replies INTEGER, reply_min INTEGER, "
            "reply_mean INTEGER, reply_max INTEGER, reply_p95 INTEGER, echoes INTEGER, "
            "lost INTEGER, echo_min INTEGER, echo_mean INTEGER, echo_max INTEGER, "
            "echo_p95 INTEGER, PRIMARY KEY (server, bucket)) WITHOUT ROWID")) &&
        exec(QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER)")) &&
        exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
    if (!made) {
        m_message = db.lastError().text();
        db.rollback();
        return false;
    }
    return db.commit();
}

bool HistoryStore::setAside(const QString& path, const QString& why) {
    close();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString aside = path + QLatin1Char('.') + stamp;
    if (!QFile::rename(path, aside)) {
        m_message = QStringLiteral("历史记录文件 %1 %2，无法改名，本次运行不记录历史。")
                        .arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFile::exists(path + suffix))
            QFile::rename(path + suffix, aside + suffix);
    }
    m_message = QStringLiteral("历史记录文件 %1 %2，已改名为 %3，并新建了历史记录文件。")
                    .arg(QDir::toNativeSeparators(path), why, QFileInfo(aside).fileName());
    return true;
}

bool HistoryStore::open(const QString& path) {
    m_path = path;
    m_message.clear();
    const auto failed = [&](const QString& reason) {
        m_message = QStringLiteral("无法打开历史记录文件 %1：%2，本次运行不记录历史。")
                        .arg(QDir::toNativeSeparators(path), reason);
        close();
        return false;
    };
    if (!openFile(path))
        return failed(m_message);
    int version = 0;
    if (!schemaUsable(version)) {
        const QString why = version > SchemaVersion ? QStringLiteral("由较新版本的程序创建")
                                                    : QStringLiteral("已损坏或不是历史记录文件");
        if (!setAside(path, why))
            return false;
        const QString asideMessage = m_message;
        if (!openFile(path) || !schemaUsable(version))
            return failed(m_message);
        m_message = asideMessage;
    }
    QSqlQuery wal(database(m_connection));
    if (!wal.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return failed(wal.lastError().text());
    wal.finish();
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    if (version == 0 && !createSchema()) {
        const QString asideMessage = m_message;
        const QString reason = database(m_connection).lastError().text();
        failed(reason.isEmpty() ? asideMessage : reason);
        return false;
    }
    return true;
}

bool HistoryStore::append(const QList<ProbeOutcome>& outcomes) {
    QSqlDatabase db = database(m_connection);
    if (!db.isOpen() || !db.transaction()) {
        m_message = db.lastError().text();
        return false;
    }
    QSqlQuery insert(db);
    bool ok =
        insert.prepare(QStringLiteral("INSERT OR REPLACE INTO raw (server, t, kind, ms, status) "
                                      "VALUES (?, ?, ?, ?, ?)"));
    for (qsizetype i = 0; ok && i < outcomes.size(); ++i) {
        const ProbeOutcome& outcome = outcomes.at(i);
        insert.bindValue(0, outcome.serverId);
        insert.bindValue(1, outcome.timeUtcMs);
        insert.bindValue(2, int(outcome.kind));
        insert.bindValue(3, outcome.ms);
        insert.bindValue(4, outcome.status);
        ok = insert.exec();
    }
    if (!ok) {
        m_message = insert.lastError().text();
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        m_message = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

qint64 HistoryStore::aggregatedUntil() const {
    QSqlQuery query(database(m_connection));
    query.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
    query.addBindValue(AggregatedUntilKey);
    if (query.exec() && query.next())
        return query.value(0).toLongLong();
    return 0;
}

bool HistoryStore::maintain(qint64 nowUtcMs, int rawDays, int keepDays) {
    QSqlDatabase db = database(m_connection);
    if (!db.isOpen())
        return false;
    const qint64 from = aggregatedUntil();
    const qint64 until = floorDiv(nowUtcMs - SettleMs, BucketMs) * BucketMs;
    if (!db.transaction())
        return false;
    bool ok = true;
    if (until > from) {
        QList<QList<ProbeOutcome>> groups;
        QHash<QPair<qint64, qint64>, qsizetype> index;
        QSqlQuery select(db);
        select.setForwardOnly(true);
        ok = select.prepare(
                 QStringLiteral("SELECT server, t, kind, ms FROM raw WHERE t >= ? AND t < ?")) &&
             (select.addBindValue(from), select.addBindValue(until), select.exec());
        while (ok && select.next()) {
            ProbeOutcome outcome;
            outcome.serverId = select.value(0).toLongLong();
            outcome.timeUtcMs = select.value(1).toLongLong();
            outcome.kind = static_cast<ProbeOutcome::Kind>(select.value(2).toInt());
            outcome.ms = select.value(3).toInt();
            const auto key = qMakePair(outcome.serverId, floorDiv(outcome.timeUtcMs, BucketMs));
            qsizetype at = index.value(key, -1);
            if (at < 0) {
                at = groups.size();
                index.insert(key, at);
                groups.append(QList<ProbeOutcome>());
            }
            groups[at].append(outcome);
        }
        select.finish();
        QSqlQuery insert(db);
        ok = ok && insert.prepare(QStringLiteral(
                       "INSERT OR REPLACE INTO agg VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?)"));
        for (qsizetype i = 0; ok && i < groups.size(); ++i) {
            const QList<ProbeOutcome>& group = groups.at(i);
            const Bucket b = bucketOf(group);
            const QVariantList values = {group.first().serverId,
                                         b.startUtcMs / BucketMs,
                                         b.count,
                                         b.faults,
                                         b.replies,
                                         b.replyMin,
                                         b.replyMean,
                                         b.replyMax,
                                         b.replyP95,
                                         b.echoes,
                                         b.lost,
                                         b.echoMin,
                                         b.echoMean,
                                         b.echoMax,
                                         b.echoP95};
            for (int v = 0; v < values.size(); ++v)
                insert.bindValue(v, values.at(v));
            ok = insert.exec();
        }
        ok = ok && exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"),
                        {AggregatedUntilKey, until});
    }
    const qint64 rawLimit = nowUtcMs - qint64(rawDays) * DayMs;
    const qint64 keepLimit = floorDiv(nowUtcMs - qint64(keepDays) * DayMs, BucketMs);
    ok = ok && exec(QStringLiteral("DELETE FROM raw WHERE t < ?"), {qMin(rawLimit, until)}) &&
         exec(QStringLiteral("DELETE FROM agg WHERE bucket < ?"), {keepLimit});
    if (!ok) {
        m_message = db.lastError().text();
        db.rollback();
        return false;
    }
    return db.commit();
}

bool HistoryStore::deleteServer(qint64 serverId) {
    QSqlDatabase db = database(m_connection);
    if (!db.isOpen() || !db.transaction())
        return false;
    if (exec(QStringLiteral("DELETE FROM raw WHERE server = ?"), {serverId}) &&
        exec(QStringLiteral("DELETE FROM agg WHERE server = ?"), {serverId}))
        return db.commit();
    db.rollback();
    return false;
}

QList<ProbeOutcome> HistoryStore::raw(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs) const {
    QList<ProbeOutcome> outcomes;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT t, kind, ms, status FROM raw "
                                 "WHERE server = ? AND t >= ? AND t < ? ORDER BY t, kind"));
    query.addBindValue(serverId);
    query.addBindValue(fromUtcMs);
    query.addBindValue(toUtcMs);
    if (!query.exec())
        return outcomes;
    while (query.next()) {
        ProbeOutcome outcome;
        outcome.serverId = serverId;
        outcome.timeUtcMs = query.value(0).toLongLong();
        outcome.kind = static_cast<ProbeOutcome::Kind>(query.value(1).toInt());
        outcome.ms = query.value(2).toInt();
        outcome.status = query.value(3).toInt();
        outcomes.append(outcome);
    }
    return outcomes;
}

QList<HistoryStore::Bucket> HistoryStore::buckets(qint64 serverId, qint64 fromUtcMs,
                                                  qint64 toUtcMs) const {
    QList<Bucket> result;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT bucket, count, faults, replies, reply_min, reply_mean, reply_max, reply_p95, "
        "echoes, lost, echo_min, echo_mean, echo_max, echo_p95 FROM agg "
        "WHERE server = ? AND bucket >= ? AND bucket < ? ORDER BY bucket"));
    query.addBindValue(serverId);
    query.addBindValue(floorDiv(fromUtcMs + BucketMs - 1, BucketMs));
    query.addBindValue(floorDiv(toUtcMs + BucketMs - 1, BucketMs));
    if (!query.exec())
        return result;
    while (query.next()) {
        Bucket b;
        b.startUtcMs = query.value(0).toLongLong() * BucketMs;
        b.count = query.value(1).toInt();
        b.faults = query.value(2).toInt();
        b.replies = query.value(3).toInt();
        b.replyMin = query.value(4).toInt();
        b.replyMean = query.value(5).toInt();
        b.replyMax = query.value(6).toInt();
        b.replyP95 = query.value(7).toInt();
        b.echoes = query.value(8).toInt();
        b.lost = query.value(9).toInt();
        b.echoMin = query.value(10).toInt();
        b.echoMean = query.value(11).toInt();
        b.echoMax = query.value(12).toInt();
        b.echoP95 = query.value(13).toInt();
        result.append(b);
    }
    return result;
}

HistoryStore::Bucket HistoryStore::bucketOf(const QList<ProbeOutcome>& outcomes) {
    Bucket b;
    if (outcomes.isEmpty())
        return b;
    b.startUtcMs = floorDiv(outcomes.first().timeUtcMs, BucketMs) * BucketMs;
    QList<qint32> replies, echoes;
    for (const ProbeOutcome& outcome : outcomes) {
        if (outcome.isSocket()) {
            ++b.count;
            if (outcome.isFault())
                ++b.faults;
            if (outcome.kind == ProbeOutcome::Correct || outcome.kind == ProbeOutcome::Wrong)
                replies.append(outcome.ms);
        } else {
            ++b.echoes;
            if (outcome.kind == ProbeOutcome::EchoLost)
                ++b.lost;
            else
                echoes.append(outcome.ms);
        }
    }
    b.replies = static_cast<qint32>(replies.size());
    const Figures reply = figuresOf(replies);
    const Figures echo = figuresOf(echoes);
    b.replyMin = reply.min;
    b.replyMean = reply.mean;
    b.replyMax = reply.max;
    b.replyP95 = reply.p95;
    b.echoMin = echo.min;
    b.echoMean = echo.mean;
    b.echoMax = echo.max;
    b.echoP95 = echo.p95;
    return b;
}

qint32 HistoryStore::percentile95(QList<qint32>& values) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype rank = (values.size() * 95 + 99) / 100; // ceil(0.95 n), 1-based
    return values.at(qMax<qsizetype>(rank, 1) - 1);
}
