#include "history/HistoryStore.h"

#include "history/HistoryAggregates.h"
#include "history/HistoryMaintenance.h"
#include "history/HistorySql.h"

#include <QSqlError>
#include <QSqlQuery>

HistoryStore::HistoryStore(const QString& connectionName)
    : m_connection(connectionName)
    , m_schema(connectionName) {}

HistoryStore::~HistoryStore() {
    close();
}

bool HistoryStore::isOpen() const {
    return HistorySql::database(m_connection).isOpen();
}

void HistoryStore::close() {
    m_maintenance.reset();
    m_schema.close();
}

bool HistoryStore::open(const QString& path) {
    m_path = path;
    const bool opened = m_schema.open(path);
    m_message = m_schema.message();
    return opened;
}

bool HistoryStore::openForReading(const QString& path) {
    m_path = path;
    const bool opened = m_schema.openForReading(path);
    m_message = m_schema.message();
    return opened;
}

bool HistoryStore::append(const QList<ProbeOutcome>& outcomes, const ServerBuckets& folded,
                          qint64 heldUntilUtcMs) {
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.isOpen() || !db.transaction()) {
        m_message = db.lastError().text();
        return false;
    }
    QSqlQuery insert(db);
    bool ok =
        insert.prepare(QStringLiteral("INSERT INTO raw (server, t, kind, ms, status, handshake_ms, "
                                      "maintenance) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    const QVariant noHandshake(QMetaType::fromType<qint32>());
    for (qsizetype i = 0; ok && i < outcomes.size(); ++i) {
        const ProbeOutcome& outcome = outcomes.at(i);
        insert.bindValue(0, outcome.serverId);
        insert.bindValue(1, outcome.timeUtcMs);
        insert.bindValue(2, int(outcome.kind));
        insert.bindValue(3, outcome.ms);
        insert.bindValue(4, outcome.status);
        insert.bindValue(5, outcome.handshakeMs < 0 ? noHandshake : QVariant(outcome.handshakeMs));
        insert.bindValue(6, outcome.maintenance ? 1 : 0);
        ok = insert.exec();
    }
    if (!ok)
        m_message = insert.lastError().text();
    if (ok && !folded.isEmpty()) {
        HistoryAggregates aggregates(m_connection);
        ok = aggregates.add(folded);
        if (!ok)
            m_message = aggregates.failure().value_or(QString());
    }
    if (ok && heldUntilUtcMs != std::numeric_limits<qint64>::min()) {
        QSqlQuery mark(db);
        ok = mark.prepare(
            QStringLiteral("INSERT OR REPLACE INTO meta (key, value) SELECT ?, "
                           "MAX(COALESCE((SELECT value FROM meta WHERE key = ?), 0), ?)"));
        mark.addBindValue(HistorySchema::rawFromKey());
        mark.addBindValue(HistorySchema::rawFromKey());
        mark.addBindValue(heldUntilUtcMs);
        ok = ok && mark.exec();
        if (!ok)
            m_message = mark.lastError().text();
    }
    if (!ok) {
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

qint64 HistoryStore::aggregatedId() const {
    return HistorySql::value(m_connection, QStringLiteral("SELECT value FROM meta WHERE key = ?"),
                             {HistorySchema::aggregatedIdKey()})
        .toLongLong();
}

qint64 HistoryStore::rawFrom() const {
    return HistorySql::value(m_connection, QStringLiteral("SELECT value FROM meta WHERE key = ?"),
                             {HistorySchema::rawFromKey()})
        .toLongLong();
}

bool HistoryStore::maintain(qint64 nowUtcMs, int rawDays, int keepDays,
                            const std::optional<QList<qint64>>& servers) {
    beginMaintenance(nowUtcMs, rawDays, keepDays, servers);
    Step step = Step::More;
    while (step == Step::More)
        step = maintenanceStep();
    return step == Step::Done;
}

void HistoryStore::beginMaintenance(qint64 nowUtcMs, int rawDays, int keepDays,
                                    const std::optional<QList<qint64>>& servers) {
    m_maintenance.reset();
    if (isOpen())
        m_maintenance = std::make_unique<HistoryMaintenance>(m_connection, nowUtcMs, rawDays,
                                                             keepDays, servers);
}

HistoryStore::Step HistoryStore::maintenanceStep() {
    if (!m_maintenance) {
        m_message = HistorySql::database(m_connection).lastError().text();
        return Step::Failed;
    }
    if (!m_maintenance->step()) {
        m_message = m_maintenance->failure().value_or(QString());
        m_maintenance.reset();
        return Step::Failed;
    }
    if (!m_maintenance->isDone())
        return Step::More;
    m_maintenance.reset();
    return Step::Done;
}

HistoryStore::ReadTransaction::ReadTransaction(const HistoryStore& store)
    : m_connection(store.m_connection)
    , m_begun(HistorySql::database(m_connection).transaction()) {}

HistoryStore::ReadTransaction::~ReadTransaction() {
    if (m_begun)
        HistorySql::database(m_connection).rollback();
}

bool HistoryStore::deleteServer(qint64 serverId) {
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.isOpen() || !db.transaction())
        return false;
    const auto drop = [&](const QString& sql) {
        return HistorySql::exec(m_connection, sql, {serverId});
    };
    if (drop(QStringLiteral("DELETE FROM raw WHERE server = ?")) &&
        drop(QStringLiteral("DELETE FROM agg WHERE server = ?")) &&
        drop(QStringLiteral("DELETE FROM agg_hour WHERE server = ?")))
        return db.commit();
    db.rollback();
    return false;
}

QList<ProbeOutcome> HistoryStore::raw(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                      qint64 cutUtcMs, qint64 aggregatedId) const {
    QList<ProbeOutcome> outcomes;
    QSqlQuery query(HistorySql::database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT t, kind, ms, status, handshake_ms FROM raw WHERE "
                                 "server = ? AND t >= ? AND t < ? AND (t >= ? OR id > ?) "
                                 "AND maintenance = 0 ORDER BY t, kind, id"));
    query.addBindValue(serverId);
    query.addBindValue(fromUtcMs);
    query.addBindValue(toUtcMs);
    query.addBindValue(cutUtcMs);
    query.addBindValue(aggregatedId);
    if (!query.exec())
        return outcomes;
    while (query.next()) {
        ProbeOutcome outcome;
        outcome.serverId = serverId;
        outcome.timeUtcMs = query.value(0).toLongLong();
        outcome.kind = static_cast<ProbeOutcome::Kind>(query.value(1).toInt());
        outcome.ms = query.value(2).toInt();
        outcome.status = query.value(3).toInt();
        if (!query.isNull(4))
            outcome.handshakeMs = query.value(4).toInt();
        outcomes.append(outcome);
    }
    return outcomes;
}

QPair<qint64, qint64> HistoryStore::socketCounts(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                                 qint64 cutUtcMs, qint64 aggregatedId) const {
    QPair<qint64, qint64> counts;
    QSqlQuery query(HistorySql::database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT SUM(count), SUM(faults) FROM agg "
                                 "WHERE server = ? AND bucket >= ? AND bucket < ?"));
    query.addBindValue(serverId);
    query.addBindValue(floorDiv(fromUtcMs + BucketMs - 1, BucketMs));
    query.addBindValue(floorDiv(qMin(cutUtcMs, toUtcMs) + BucketMs - 1, BucketMs));
    if (query.exec() && query.next()) {
        counts.first += query.value(0).toLongLong();
        counts.second += query.value(1).toLongLong();
    }
    query.prepare(QStringLiteral("SELECT COUNT(*), SUM(kind <> ?) FROM raw "
                                 "WHERE server = ? AND t >= ? AND t < ? AND (t >= ? OR id > ?) "
                                 "AND kind IN (?, ?, ?, ?) AND maintenance = 0"));
    for (const qint64 value :
         {qint64(ProbeOutcome::Correct), serverId, fromUtcMs, toUtcMs, cutUtcMs, aggregatedId,
          qint64(ProbeOutcome::Correct), qint64(ProbeOutcome::Wrong),
          qint64(ProbeOutcome::SocketError), qint64(ProbeOutcome::TimedOut)})
        query.addBindValue(value);
    if (query.exec() && query.next()) {
        counts.first += query.value(0).toLongLong();
        counts.second += query.value(1).toLongLong();
    }
    return counts;
}

QList<HistoryStore::Bucket> HistoryStore::buckets(qint64 serverId, qint64 fromUtcMs,
                                                  qint64 toUtcMs) const {
    QList<Bucket> result;
    QSqlQuery query(HistorySql::database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT bucket, count, faults, replies, reply_min, reply_mean, reply_max, reply_p95, "
        "echoes, lost, echo_min, echo_mean, echo_max, echo_p95, maintenance_count FROM agg "
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
        b.maintenance = query.value(14).toInt();
        result.append(b);
    }
    return result;
}

QList<HistoryStore::Totals> HistoryStore::spans(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                                qint64 spanMs) const {
    // Spans of an hour or more are summed from the hourly rows.
    const bool hourly = spanMs >= HourMs;
    const qint64 unit = hourly ? HourMs : BucketMs;
    QList<Totals> result;
    QSqlQuery query(HistorySql::database(m_connection));
    query.setForwardOnly(true);
    // Summed in the database: a year of buckets becomes a few hundred rows.
    query.prepare(
        QStringLiteral(
            "SELECT (bucket * ? - ?) / ? AS span, SUM(count), SUM(faults), SUM(replies), "
            "SUM(reply_mean * replies), MIN(CASE WHEN replies > 0 THEN reply_min END), "
            "MAX(CASE WHEN replies > 0 THEN reply_max END), SUM(echoes), SUM(lost), "
            "SUM(echo_mean * (echoes - lost)), MIN(CASE WHEN echoes > lost THEN echo_min END), "
            "MAX(CASE WHEN echoes > lost THEN echo_max END) FROM %1 "
            "WHERE server = ? AND bucket >= ? AND bucket < ? GROUP BY span "
            "HAVING SUM(count) + SUM(echoes) > 0 ORDER BY span")
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
    QSqlQuery query(HistorySql::database(m_connection));
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
