#include "history/HistoryMaintenance.h"

#include "history/HistorySchema.h"
#include "history/HistorySql.h"

#include <QHash>
#include <QMap>
#include <QSqlError>

namespace {

using F = HistoryFigures;

constexpr qint64 DayMs = 24 * 3600 * 1000;

const char* const AggColumns = "count, faults, replies, reply_min, reply_mean, reply_max, "
                               "reply_p95, echoes, lost, echo_min, echo_mean, echo_max, "
                               "echo_p95, maintenance_count";

F::Bucket bucketFrom(const QSqlQuery& query, qint64 startUtcMs) {
    F::Bucket b;
    b.startUtcMs = startUtcMs;
    b.count = query.value(0).toInt();
    b.faults = query.value(1).toInt();
    b.replies = query.value(2).toInt();
    b.replyMin = query.value(3).toInt();
    b.replyMean = query.value(4).toInt();
    b.replyMax = query.value(5).toInt();
    b.replyP95 = query.value(6).toInt();
    b.echoes = query.value(7).toInt();
    b.lost = query.value(8).toInt();
    b.echoMin = query.value(9).toInt();
    b.echoMean = query.value(10).toInt();
    b.echoMax = query.value(11).toInt();
    b.echoP95 = query.value(12).toInt();
    b.maintenance = query.value(13).toInt();
    return b;
}

} // namespace

HistoryMaintenance::HistoryMaintenance(const QString& connectionName)
    : m_connection(connectionName) {}

bool HistoryMaintenance::checked(const QSqlQuery& query, bool ok) {
    if (!ok && !m_failure)
        m_failure = query.lastError().text();
    return ok;
}

bool HistoryMaintenance::exec(const QString& sql, const QVariantList& values) {
    QSqlQuery query(HistorySql::database(m_connection));
    bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    return checked(query, ok && query.exec());
}

bool HistoryMaintenance::run(qint64 nowUtcMs, int rawDays, int keepDays,
                             const std::optional<QList<qint64>>& servers) {
    m_failure.reset();
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.isOpen() || !db.transaction()) {
        m_failure = db.lastError().text();
        return false;
    }
    const qint64 aggregated =
        HistorySql::value(m_connection, QStringLiteral("SELECT value FROM meta WHERE key = ?"),
                          {HistorySchema::aggregatedIdKey()})
            .toLongLong();
    const qint64 last =
        HistorySql::value(m_connection, QStringLiteral("SELECT MAX(id) FROM raw")).toLongLong();
    const bool ok = (last <= aggregated || aggregate(aggregated, last)) &&
                    expire(nowUtcMs, rawDays, keepDays, qMax(aggregated, last), servers);
    if (!ok || !db.commit()) {
        if (!m_failure)
            m_failure = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

// The raw results with afterId < id <= untilId into the aggregates of their
// buckets and hours. A bucket that already has an aggregate (results that
// came in several runs) is merged with it: counts, extremes and means stay
// exact, the 95th percentile becomes an estimate.
bool HistoryMaintenance::aggregate(qint64 afterId, qint64 untilId) {
    // The results of one server's bucket; those taken during maintenance
    // are only counted.
    struct Group {
        QList<ProbeOutcome> outcomes;
        qint32 maintenance = 0;
    };
    QMap<QPair<qint64, qint64>, Group> groups;
    QSqlQuery select(HistorySql::database(m_connection));
    select.setForwardOnly(true);
    bool ok = select.prepare(QStringLiteral("SELECT server, t, kind, ms, maintenance FROM raw "
                                            "WHERE id > ? AND id <= ?"));
    select.addBindValue(afterId);
    select.addBindValue(untilId);
    ok = checked(select, ok && select.exec());
    while (ok && select.next()) {
        ProbeOutcome outcome;
        outcome.serverId = select.value(0).toLongLong();
        outcome.timeUtcMs = select.value(1).toLongLong();
        outcome.kind = static_cast<ProbeOutcome::Kind>(select.value(2).toInt());
        outcome.ms = select.value(3).toInt();
        Group& group = groups[{outcome.serverId, F::floorDiv(outcome.timeUtcMs, F::BucketMs)}];
        if (select.value(4).toInt() != 0)
            ++group.maintenance;
        else
            group.outcomes.append(outcome);
    }
    select.finish();
    // Each hour gets the sum of what its buckets got.
    QMap<QPair<qint64, qint64>, QList<F::Bucket>> hours;
    for (auto group = groups.cbegin(); ok && group != groups.cend(); ++group) {
        const auto [server, bucket] = group.key();
        F::Bucket b = F::bucketOf(group->outcomes);
        b.startUtcMs = bucket * F::BucketMs;
        b.maintenance = group->maintenance;
        ok = addTo(QStringLiteral("agg"), server, bucket, b);
        hours[{server, F::floorDiv(b.startUtcMs, F::HourMs)}].append(b);
    }
    for (auto hour = hours.cbegin(); ok && hour != hours.cend(); ++hour)
        ok = addTo(QStringLiteral("agg_hour"), hour.key().first, hour.key().second,
                   F::sumOf(hour.value()));
    return ok && exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"),
                      {HistorySchema::aggregatedIdKey(), untilId});
}

bool HistoryMaintenance::addTo(const QString& table, qint64 serverId, qint64 index,
                               const F::Bucket& more) {
    QSqlQuery stored(HistorySql::database(m_connection));
    stored.setForwardOnly(true);
    bool ok = stored.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE server = ? AND bucket = ?")
                                 .arg(QLatin1String(AggColumns), table));
    stored.addBindValue(serverId);
    stored.addBindValue(index);
    if (!checked(stored, ok && stored.exec()))
        return false;
    const F::Bucket b =
        stored.next() ? F::sumOf({bucketFrom(stored, more.startUtcMs), more}) : more;
    stored.finish();
    return exec(QStringLiteral("INSERT OR REPLACE INTO %1 (server, bucket, %2) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                    .arg(table, QLatin1String(AggColumns)),
                {serverId, index, b.count, b.faults, b.replies, b.replyMin, b.replyMean, b.replyMax,
                 b.replyP95, b.echoes, b.lost, b.echoMin, b.echoMean, b.echoMax, b.echoP95,
                 b.maintenance});
}

// Raw results older than rawDays that the aggregates hold, aggregates older
// than keepDays. With servers, only theirs, each through its key.
bool HistoryMaintenance::expire(qint64 nowUtcMs, int rawDays, int keepDays, qint64 aggregatedId,
                                const std::optional<QList<qint64>>& servers) {
    const qint64 rawLimit = nowUtcMs - qint64(rawDays) * DayMs;
    const qint64 keepLimit = F::floorDiv(nowUtcMs - qint64(keepDays) * DayMs, F::BucketMs);
    const qint64 hourLimit = F::floorDiv(keepLimit * F::BucketMs, F::HourMs);
    if (!servers) {
        return exec(QStringLiteral("DELETE FROM raw WHERE t < ? AND id <= ?"),
                    {rawLimit, aggregatedId}) &&
               exec(QStringLiteral("DELETE FROM agg WHERE bucket < ?"), {keepLimit}) &&
               exec(QStringLiteral("DELETE FROM agg_hour WHERE bucket < ?"), {hourLimit});
    }
    bool ok = true;
    for (qsizetype s = 0; ok && s < servers->size(); ++s) {
        const qint64 server = servers->at(s);
        ok = exec(QStringLiteral("DELETE FROM raw WHERE server = ? AND t < ? AND id <= ?"),
                  {server, rawLimit, aggregatedId}) &&
             exec(QStringLiteral("DELETE FROM agg WHERE server = ? AND bucket < ?"),
                  {server, keepLimit}) &&
             exec(QStringLiteral("DELETE FROM agg_hour WHERE server = ? AND bucket < ?"),
                  {server, hourLimit});
    }
    return ok;
}
