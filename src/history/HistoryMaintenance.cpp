#include "history/HistoryMaintenance.h"

#include "history/HistorySchema.h"
#include "history/HistorySql.h"

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

QString selectSql(const QString& table) {
    return QStringLiteral("SELECT %1 FROM %2 WHERE server = ? AND bucket = ?")
        .arg(QLatin1String(AggColumns), table);
}

QString insertSql(const QString& table) {
    return QStringLiteral("INSERT OR REPLACE INTO %1 (server, bucket, %2) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .arg(table, QLatin1String(AggColumns));
}

} // namespace

HistoryMaintenance::HistoryMaintenance(const QString& connectionName, qint64 nowUtcMs, int rawDays,
                                       int keepDays, std::optional<QList<qint64>> servers)
    : m_connection(connectionName)
    , m_now(nowUtcMs)
    , m_rawDays(rawDays)
    , m_keepDays(keepDays)
    , m_servers(std::move(servers))
    , m_readAgg(HistorySql::database(connectionName))
    , m_writeAgg(HistorySql::database(connectionName))
    , m_readHour(HistorySql::database(connectionName))
    , m_writeHour(HistorySql::database(connectionName)) {
    const std::optional<qint64> aggregated = number(
        QStringLiteral("SELECT value FROM meta WHERE key = ?"), {HistorySchema::aggregatedIdKey()});
    const std::optional<qint64> last = number(QStringLiteral("SELECT MAX(id) FROM raw"), {});
    const bool ready =
        aggregated && last &&
        checked(m_readAgg, m_readAgg.prepare(selectSql(QStringLiteral("agg")))) &&
        checked(m_writeAgg, m_writeAgg.prepare(insertSql(QStringLiteral("agg")))) &&
        checked(m_readHour, m_readHour.prepare(selectSql(QStringLiteral("agg_hour")))) &&
        checked(m_writeHour, m_writeHour.prepare(insertSql(QStringLiteral("agg_hour"))));
    m_aggregatedId = aggregated.value_or(0);
    m_untilId = last.value_or(0);
    m_readAgg.setForwardOnly(true);
    m_readHour.setForwardOnly(true);
    m_done = !ready;
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
    // Each hour gets the sum of what its buckets got.
    QMap<QPair<qint64, qint64>, QList<F::Bucket>> hours;
    for (auto group = groups.cbegin(); ok && group != groups.cend(); ++group) {
        const auto [server, bucket] = group.key();
        F::Bucket b = F::bucketOf(group->outcomes);
        b.startUtcMs = bucket * F::BucketMs;
        b.maintenance = group->maintenance;
        ok = addTo(m_readAgg, m_writeAgg, server, bucket, b);
        hours[{server, F::floorDiv(b.startUtcMs, F::HourMs)}].append(b);
    }
    for (auto hour = hours.cbegin(); ok && hour != hours.cend(); ++hour)
        ok = addTo(m_readHour, m_writeHour, hour.key().first, hour.key().second,
                   F::sumOf(hour.value()));
    return ok && exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"),
                      {HistorySchema::aggregatedIdKey(), untilId});
}

bool HistoryMaintenance::addTo(QSqlQuery& read, QSqlQuery& write, qint64 serverId, qint64 index,
                               const F::Bucket& more) {
    read.bindValue(0, serverId);
    read.bindValue(1, index);
    if (!checked(read, read.exec()))
        return false;
    const F::Bucket b = read.next() ? F::sumOf({bucketFrom(read, more.startUtcMs), more}) : more;
    read.finish();
    const QVariantList values = {serverId,   index,      b.count,     b.faults,
                                 b.replies,  b.replyMin, b.replyMean, b.replyMax,
                                 b.replyP95, b.echoes,   b.lost,      b.echoMin,
                                 b.echoMean, b.echoMax,  b.echoP95,   b.maintenance};
    for (int i = 0; i < values.size(); ++i)
        write.bindValue(i, values.at(i));
    return checked(write, write.exec());
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
