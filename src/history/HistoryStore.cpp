#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
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
           names.contains(QStringLiteral("agg_hour")) && names.contains(QStringLiteral("meta"));
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
        exec(QStringLiteral(
            "CREATE TABLE agg_hour (server INTEGER NOT NULL, bucket INTEGER NOT NULL, "
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
        m_message = QCoreApplication::translate(
                        "HistoryStore", "历史记录文件 %1 %2，无法改名，本次运行不记录历史。")
                        .arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFile::exists(path + suffix))
            QFile::rename(path + suffix, aside + suffix);
    }
    m_message = QCoreApplication::translate(
                    "HistoryStore", "历史记录文件 %1 %2，已改名为 %3，并新建了历史记录文件。")
                    .arg(QDir::toNativeSeparators(path), why, QFileInfo(aside).fileName());
    return true;
}

bool HistoryStore::open(const QString& path) {
    m_path = path;
    m_message.clear();
    const auto failed = [&](const QString& reason) {
        m_message = QCoreApplication::translate("HistoryStore",
                                                "无法打开历史记录文件 %1：%2，本次运行不记录历史。")
                        .arg(QDir::toNativeSeparators(path), reason);
        close();
        return false;
    };
    if (!openFile(path))
        return failed(m_message);
    int version = 0;
    if (!schemaUsable(version)) {
        const QString why =
            version > SchemaVersion
                ? QCoreApplication::translate("HistoryStore", "由较新版本的程序创建")
                : QCoreApplication::translate("HistoryStore", "已损坏或不是历史记录文件");
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

bool HistoryStore::maintain(qint64 nowUtcMs, int rawDays, int keepDays,
                            const std::optional<QList<qint64>>& servers) {
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
        // The whole table, or the given servers each by its key.
        ok = select.prepare(servers ? QStringLiteral("SELECT server, t, kind, ms FROM raw "
                                                     "WHERE server = ? AND t >= ? AND t < ?")
                                    : QStringLiteral("SELECT server, t, kind, ms FROM raw "
                                                     "WHERE t >= ? AND t < ?"));
        const QList<qint64> serverList = servers.value_or(QList<qint64>{0});
        for (qsizetype s = 0; ok && s < serverList.size(); ++s) {
            if (servers)
                select.bindValue(0, serverList.at(s));
            select.bindValue(servers ? 1 : 0, from);
            select.bindValue(servers ? 2 : 1, until);
            ok = select.exec();
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
        }
        QSet<QPair<qint64, qint64>> hours;
        for (qsizetype i = 0; ok && i < groups.size(); ++i) {
            const qint64 server = groups.at(i).first().serverId;
            const Bucket b = bucketOf(groups.at(i));
            ok = insertBucket(QStringLiteral("agg"), server, b.startUtcMs / BucketMs, b);
            hours.insert({server, floorDiv(b.startUtcMs, HourMs)});
        }
        // Each hour touched is summed again from all its buckets.
        for (auto hour = hours.cbegin(); ok && hour != hours.cend(); ++hour) {
            const QList<Bucket> parts =
                buckets(hour->first, hour->second * HourMs, (hour->second + 1) * HourMs);
            ok = insertBucket(QStringLiteral("agg_hour"), hour->first, hour->second, sumOf(parts));
        }
        ok = ok && exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"),
                        {AggregatedUntilKey, until});
    }
    const qint64 rawLimit = nowUtcMs - qint64(rawDays) * DayMs;
    const qint64 keepLimit = floorDiv(nowUtcMs - qint64(keepDays) * DayMs, BucketMs);
    const QVariantList limits = {qMin(rawLimit, until), keepLimit,
                                 floorDiv(keepLimit * BucketMs, HourMs)};
    if (!servers) {
        ok = ok && exec(QStringLiteral("DELETE FROM raw WHERE t < ?"), {limits.at(0)}) &&
             exec(QStringLiteral("DELETE FROM agg WHERE bucket < ?"), {limits.at(1)}) &&
             exec(QStringLiteral("DELETE FROM agg_hour WHERE bucket < ?"), {limits.at(2)});
    }
    for (qsizetype s = 0; ok && servers && s < servers->size(); ++s) {
        const qint64 server = servers->at(s);
        ok = exec(QStringLiteral("DELETE FROM raw WHERE server = ? AND t < ?"),
                  {server, limits.at(0)}) &&
             exec(QStringLiteral("DELETE FROM agg WHERE server = ? AND bucket < ?"),
                  {server, limits.at(1)}) &&
             exec(QStringLiteral("DELETE FROM agg_hour WHERE server = ? AND bucket < ?"),
                  {server, limits.at(2)});
    }
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
        exec(QStringLiteral("DELETE FROM agg WHERE server = ?"), {serverId}) &&
        exec(QStringLiteral("DELETE FROM agg_hour WHERE server = ?"), {serverId}))
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

void HistoryStore::Totals::add(const Bucket& b) {
    const qint32 answered = b.echoes - b.lost;
    count += b.count;
    faults += b.faults;
    replies += b.replies;
    echoes += b.echoes;
    lost += b.lost;
    replySum += double(b.replyMean) * b.replies;
    echoSum += double(b.echoMean) * answered;
    if (b.replies > 0) {
        replyMin = qMin(replyMin, b.replyMin);
        replyMax = qMax(replyMax, b.replyMax);
    }
    if (answered > 0) {
        echoMin = qMin(echoMin, b.echoMin);
        echoMax = qMax(echoMax, b.echoMax);
    }
}

void HistoryStore::Totals::add(const Totals& other) {
    count += other.count;
    faults += other.faults;
    replies += other.replies;
    echoes += other.echoes;
    lost += other.lost;
    replySum += other.replySum;
    echoSum += other.echoSum;
    replyMin = qMin(replyMin, other.replyMin);
    replyMax = qMax(replyMax, other.replyMax);
    echoMin = qMin(echoMin, other.echoMin);
    echoMax = qMax(echoMax, other.echoMax);
}

QList<HistoryStore::Totals> HistoryStore::spans(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                                qint64 spanMs) const {
    // Spans of an hour or more are summed from the hourly rows.
    const bool hourly = spanMs >= HourMs;
    const qint64 unit = hourly ? HourMs : BucketMs;
    QList<Totals> result;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    // Summed in the database: a year of buckets becomes a few hundred rows.
    query.prepare(
        QStringLiteral(
            "SELECT (bucket * ? - ?) / ? AS span, SUM(count), SUM(faults), SUM(replies), "
            "SUM(reply_mean * replies), MIN(CASE WHEN replies > 0 THEN reply_min END), "
            "MAX(CASE WHEN replies > 0 THEN reply_max END), SUM(echoes), SUM(lost), "
            "SUM(echo_mean * (echoes - lost)), MIN(CASE WHEN echoes > lost THEN echo_min END), "
            "MAX(CASE WHEN echoes > lost THEN echo_max END) FROM %1 "
            "WHERE server = ? AND bucket >= ? AND bucket < ? GROUP BY span ORDER BY span")
            .arg(hourly ? QStringLiteral("agg_hour") : QStringLiteral("agg")));
    query.addBindValue(unit);
    query.addBindValue(fromUtcMs);
    query.addBindValue(qMax<qint64>(1, spanMs));
    query.addBindValue(serverId);
    query.addBindValue(floorDiv(fromUtcMs + unit - 1, unit));
    query.addBindValue(floorDiv(toUtcMs + unit - 1, unit));
    if (!query.exec())
        return result;
    while (query.next()) {
        Totals t;
        t.startUtcMs = fromUtcMs + query.value(0).toLongLong() * spanMs;
        t.count = query.value(1).toLongLong();
        t.faults = query.value(2).toLongLong();
        t.replies = query.value(3).toLongLong();
        t.replySum = query.value(4).toDouble();
        if (!query.value(5).isNull()) {
            t.replyMin = query.value(5).toInt();
            t.replyMax = query.value(6).toInt();
        }
        t.echoes = query.value(7).toLongLong();
        t.lost = query.value(8).toLongLong();
        t.echoSum = query.value(9).toDouble();
        if (!query.value(10).isNull()) {
            t.echoMin = query.value(10).toInt();
            t.echoMax = query.value(11).toInt();
        }
        result.append(t);
    }
    return result;
}

QList<QPair<qint32, qint64>> HistoryStore::p95Weights(qint64 serverId, qint64 fromUtcMs,
                                                      qint64 toUtcMs, bool echo,
                                                      bool hourly) const {
    QList<QPair<qint32, qint64>> result;
    const qint64 unit = hourly ? HourMs : BucketMs;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    query.prepare((echo ? QStringLiteral("SELECT echo_p95, SUM(echoes - lost) FROM %1 "
                                         "WHERE server = ? AND bucket >= ? AND bucket < ? "
                                         "AND echoes > lost GROUP BY echo_p95 ORDER BY echo_p95")
                        : QStringLiteral("SELECT reply_p95, SUM(replies) FROM %1 "
                                         "WHERE server = ? AND bucket >= ? AND bucket < ? "
                                         "AND replies > 0 GROUP BY reply_p95 ORDER BY reply_p95"))
                      .arg(hourly ? QStringLiteral("agg_hour") : QStringLiteral("agg")));
    query.addBindValue(serverId);
    query.addBindValue(floorDiv(fromUtcMs + unit - 1, unit));
    query.addBindValue(floorDiv(toUtcMs + unit - 1, unit));
    if (!query.exec())
        return result;
    while (query.next())
        result.append({query.value(0).toInt(), query.value(1).toLongLong()});
    return result;
}

bool HistoryStore::insertBucket(const QString& table, qint64 serverId, qint64 index,
                                const Bucket& b) {
    return exec(QStringLiteral("INSERT OR REPLACE INTO %1 VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                               "?, ?, ?, ?, ?)")
                    .arg(table),
                {serverId, index, b.count, b.faults, b.replies, b.replyMin, b.replyMean, b.replyMax,
                 b.replyP95, b.echoes, b.lost, b.echoMin, b.echoMean, b.echoMax, b.echoP95});
}

HistoryStore::Bucket HistoryStore::sumOf(const QList<Bucket>& parts) {
    Totals total;
    QList<QPair<qint32, qint64>> replyWeights, echoWeights;
    for (const Bucket& part : parts) {
        total.add(part);
        replyWeights.append({part.replyP95, part.replies});
        echoWeights.append({part.echoP95, part.echoes - part.lost});
    }
    Bucket sum;
    sum.startUtcMs = parts.isEmpty() ? 0 : parts.first().startUtcMs;
    sum.count = qint32(total.count);
    sum.faults = qint32(total.faults);
    sum.replies = qint32(total.replies);
    sum.echoes = qint32(total.echoes);
    sum.lost = qint32(total.lost);
    if (total.replies > 0) {
        sum.replyMin = total.replyMin;
        sum.replyMax = total.replyMax;
        sum.replyMean = static_cast<qint32>(std::llround(total.replySum / double(total.replies)));
        sum.replyP95 = weightedP95(replyWeights);
    }
    const qint64 answered = total.echoes - total.lost;
    if (answered > 0) {
        sum.echoMin = total.echoMin;
        sum.echoMax = total.echoMax;
        sum.echoMean = static_cast<qint32>(std::llround(total.echoSum / double(answered)));
        sum.echoP95 = weightedP95(echoWeights);
    }
    return sum;
}

qint32 HistoryStore::weightedP95(QList<QPair<qint32, qint64>> weights) {
    std::sort(weights.begin(), weights.end());
    qint64 total = 0;
    for (const auto& weight : weights)
        total += qMax<qint64>(0, weight.second);
    const qint64 rank = (total * 95 + 99) / 100;
    qint64 seen = 0;
    for (const auto& weight : weights) {
        seen += qMax<qint64>(0, weight.second);
        if (total > 0 && seen >= rank)
            return weight.first;
    }
    return 0;
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
