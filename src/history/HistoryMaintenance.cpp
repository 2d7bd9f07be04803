#include "history/HistoryMaintenance.h"

#include "history/HistorySchema.h"
#include "history/HistorySql.h"
#include "history/HistoryStore.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace {

using F = HistoryFigures;

constexpr qint64 DayMs = 24 * 3600 * 1000;
// Results still on their way to the file when maintenance runs.
constexpr qint64 SettleMs = 60 * 1000;

} // namespace

HistoryMaintenance::HistoryMaintenance(const HistoryStore& store, const QString& connectionName)
    : m_store(store)
    , m_connection(connectionName) {}

bool HistoryMaintenance::exec(const QString& sql, const QVariantList& values) {
    return HistorySql::exec(m_connection, sql, values);
}

bool HistoryMaintenance::run(qint64 nowUtcMs, int rawDays, int keepDays,
                             const std::optional<QList<qint64>>& servers) {
    m_failure.reset();
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.isOpen())
        return false;
    const qint64 from = m_store.aggregatedUntil();
    const qint64 until = F::floorDiv(nowUtcMs - SettleMs, F::BucketMs) * F::BucketMs;
    if (!db.transaction())
        return false;
    const bool ok = (until <= from || aggregate(from, until, servers)) &&
                    expire(nowUtcMs, until, rawDays, keepDays, servers);
    if (!ok) {
        m_failure = db.lastError().text();
        db.rollback();
        return false;
    }
    return db.commit();
}

// Every raw result in [from, until) into the aggregate of its bucket.
bool HistoryMaintenance::aggregate(qint64 fromUtcMs, qint64 untilUtcMs,
                                   const std::optional<QList<qint64>>& servers) {
    // The results of one server's bucket; those taken during maintenance
    // are only counted.
    struct Group {
        qint64 server = 0;
        qint64 bucket = 0;
        QList<ProbeOutcome> outcomes;
        qint32 maintenance = 0;
    };
    QList<Group> groups;
    QHash<QPair<qint64, qint64>, qsizetype> index;
    QSqlQuery select(HistorySql::database(m_connection));
    select.setForwardOnly(true);
    // The whole table, or the given servers each by its key.
    bool ok =
        select.prepare(servers ? QStringLiteral("SELECT server, t, kind, ms, maintenance FROM raw "
                                                "WHERE server = ? AND t >= ? AND t < ?")
                               : QStringLiteral("SELECT server, t, kind, ms, maintenance FROM raw "
                                                "WHERE t >= ? AND t < ?"));
    const QList<qint64> serverList = servers.value_or(QList<qint64>{0});
    for (qsizetype s = 0; ok && s < serverList.size(); ++s) {
        if (servers)
            select.bindValue(0, serverList.at(s));
        select.bindValue(servers ? 1 : 0, fromUtcMs);
        select.bindValue(servers ? 2 : 1, untilUtcMs);
        ok = select.exec();
        while (ok && select.next()) {
            ProbeOutcome outcome;
            outcome.serverId = select.value(0).toLongLong();
            outcome.timeUtcMs = select.value(1).toLongLong();
            outcome.kind = static_cast<ProbeOutcome::Kind>(select.value(2).toInt());
            outcome.ms = select.value(3).toInt();
            const auto key =
                qMakePair(outcome.serverId, F::floorDiv(outcome.timeUtcMs, F::BucketMs));
            qsizetype at = index.value(key, -1);
            if (at < 0) {
                at = groups.size();
                index.insert(key, at);
                groups.append({key.first, key.second, {}, 0});
            }
            if (select.value(4).toInt() != 0)
                ++groups[at].maintenance;
            else
                groups[at].outcomes.append(outcome);
        }
        select.finish();
    }
    QSet<QPair<qint64, qint64>> hours;
    for (qsizetype i = 0; ok && i < groups.size(); ++i) {
        const Group& group = groups.at(i);
        F::Bucket b = F::bucketOf(group.outcomes);
        b.startUtcMs = group.bucket * F::BucketMs;
        b.maintenance = group.maintenance;
        ok = insertBucket(QStringLiteral("agg"), group.server, group.bucket, b);
        hours.insert({group.server, F::floorDiv(b.startUtcMs, F::HourMs)});
    }
    // Each hour touched is summed again from all its buckets.
    for (auto hour = hours.cbegin(); ok && hour != hours.cend(); ++hour) {
        const QList<F::Bucket> parts =
            m_store.buckets(hour->first, hour->second * F::HourMs, (hour->second + 1) * F::HourMs);
        ok = insertBucket(QStringLiteral("agg_hour"), hour->first, hour->second, F::sumOf(parts));
    }
    return ok && exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"),
                      {HistorySchema::aggregatedUntilKey(), untilUtcMs});
}

// Raw results older than rawDays (and aggregated), aggregates older than
// keepDays.
bool HistoryMaintenance::expire(qint64 nowUtcMs, qint64 untilUtcMs, int rawDays, int keepDays,
                                const std::optional<QList<qint64>>& servers) {
    const qint64 rawLimit = nowUtcMs - qint64(rawDays) * DayMs;
    const qint64 keepLimit = F::floorDiv(nowUtcMs - qint64(keepDays) * DayMs, F::BucketMs);
    const QVariantList limits = {qMin(rawLimit, untilUtcMs), keepLimit,
                                 F::floorDiv(keepLimit * F::BucketMs, F::HourMs)};
    if (!servers) {
        return exec(QStringLiteral("DELETE FROM raw WHERE t < ?"), {limits.at(0)}) &&
               exec(QStringLiteral("DELETE FROM agg WHERE bucket < ?"), {limits.at(1)}) &&
               exec(QStringLiteral("DELETE FROM agg_hour WHERE bucket < ?"), {limits.at(2)});
    }
    bool ok = true;
    for (qsizetype s = 0; ok && s < servers->size(); ++s) {
        const qint64 server = servers->at(s);
        ok = exec(QStringLiteral("DELETE FROM raw WHERE server = ? AND t < ?"),
                  {server, limits.at(0)}) &&
             exec(QStringLiteral("DELETE FROM agg WHERE server = ? AND bucket < ?"),
                  {server, limits.at(1)}) &&
             exec(QStringLiteral("DELETE FROM agg_hour WHERE server = ? AND bucket < ?"),
                  {server, limits.at(2)});
    }
    return ok;
}

bool HistoryMaintenance::insertBucket(const QString& table, qint64 serverId, qint64 index,
                                      const HistoryFigures::Bucket& b) {
    return exec(QStringLiteral("INSERT OR REPLACE INTO %1 (server, bucket, count, faults, replies, "
                               "reply_min, reply_mean, reply_max, reply_p95, echoes, lost, "
                               "echo_min, echo_mean, echo_max, echo_p95, maintenance_count) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                    .arg(table),
                {serverId, index, b.count, b.faults, b.replies, b.replyMin, b.replyMean, b.replyMax,
                 b.replyP95, b.echoes, b.lost, b.echoMin, b.echoMean, b.echoMax, b.echoP95,
                 b.maintenance});
}
