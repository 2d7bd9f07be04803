#include "history/HistoryMaintenance.h"

#include "history/HistorySchema.h"
#include "history/HistorySql.h"

#include <QMap>
#include <QSqlError>

namespace {

using F = HistoryFigures;

constexpr qint64 DayMs = 24 * 3600 * 1000;

} // namespace

HistoryMaintenance::HistoryMaintenance(const QString& connectionName, qint64 nowUtcMs, int rawDays,
                                       int keepDays, std::optional<QList<qint64>> servers)
    : m_connection(connectionName)
    , m_now(nowUtcMs)
    , m_rawDays(rawDays)
    , m_keepDays(keepDays)
    , m_servers(std::move(servers))
    , m_aggregates(connectionName) {
    const std::optional<qint64> aggregated = number(
        QStringLiteral("SELECT value FROM meta WHERE key = ?"), {HistorySchema::aggregatedIdKey()});
    const std::optional<qint64> last = number(QStringLiteral("SELECT MAX(id) FROM raw"), {});
    if (!m_failure)
        m_failure = m_aggregates.failure();
    m_aggregatedId = aggregated.value_or(0);
    m_untilId = last.value_or(0);
    m_done = !aggregated || !last || m_failure;
}

std::optional<qint64> HistoryMaintenance::number(const QString& sql, const QVariantList& values) {
    QSqlQuery query(HistorySql::database(m_connection));
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!checked(query, ok && query.exec()))
        return std::nullopt;
    return query.next() ? query.value(0).toLongLong() : 0;
}

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

bool HistoryMaintenance::inTransaction(const std::function<bool()>& work) {
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.transaction()) {
        m_failure = db.lastError().text();
        return false;
    }
    if (!work() || !db.commit()) {
        if (!m_failure)
            m_failure = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool HistoryMaintenance::step() {
    if (m_failure)
        return false;
    if (m_done)
        return true;
    if (m_aggregatedId < m_untilId) {
        const qint64 until = qMin(m_untilId, m_aggregatedId + ChunkRows);
        if (!inTransaction([&] { return aggregate(until); }))
            return false;
        m_aggregatedId = until;
    }
    if (m_aggregatedId >= m_untilId) {
        if (!inTransaction([&] { return expire(); }))
            return false;
        m_done = true;
    }
    return true;
}

// The raw results with watermark < id <= untilId into the aggregates of
// their buckets and hours, and the watermark on to untilId. A bucket that
// already has an aggregate (results that came in several pieces) is merged
// with it: counts, extremes and means stay exact, the 95th percentile
// becomes an estimate.
bool HistoryMaintenance::aggregate(qint64 untilId) {
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
    select.addBindValue(m_aggregatedId);
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
    F::ServerBuckets buckets;
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        F::Bucket b = F::bucketOf(group->outcomes);
        b.maintenance = group->maintenance;
        buckets.insert(group.key(), b);
    }
    if (ok && !m_aggregates.add(buckets)) {
        m_failure = m_aggregates.failure();
        return false;
    }
    return ok && exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"),
                      {HistorySchema::aggregatedIdKey(), untilId});
}

// Raw results older than rawDays that the aggregates hold, aggregates older
// than keepDays. Raw results are whole from the latest limit on.
bool HistoryMaintenance::expire() {
    const qint64 rawLimit = m_now - qint64(m_rawDays) * DayMs;
    const qint64 keepLimit = F::floorDiv(m_now - qint64(m_keepDays) * DayMs, F::BucketMs);
    const qint64 hourLimit = F::floorDiv(keepLimit * F::BucketMs, F::HourMs);
    bool ok = exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) SELECT ?, "
                                  "MAX(COALESCE((SELECT value FROM meta WHERE key = ?), 0), ?)"),
                   {HistorySchema::rawFromKey(), HistorySchema::rawFromKey(), rawLimit});
    if (!m_servers) {
        return ok &&
               exec(QStringLiteral("DELETE FROM raw WHERE t < ? AND id <= ?"),
                    {rawLimit, m_aggregatedId}) &&
               exec(QStringLiteral("DELETE FROM agg WHERE bucket < ?"), {keepLimit}) &&
               exec(QStringLiteral("DELETE FROM agg_hour WHERE bucket < ?"), {hourLimit});
    }
    for (qsizetype s = 0; ok && s < m_servers->size(); ++s) {
        const qint64 server = m_servers->at(s);
        ok = exec(QStringLiteral("DELETE FROM raw WHERE server = ? AND t < ? AND id <= ?"),
                  {server, rawLimit, m_aggregatedId}) &&
             exec(QStringLiteral("DELETE FROM agg WHERE server = ? AND bucket < ?"),
                  {server, keepLimit}) &&
             exec(QStringLiteral("DELETE FROM agg_hour WHERE server = ? AND bucket < ?"),
                  {server, hourLimit});
    }
    return ok;
}
