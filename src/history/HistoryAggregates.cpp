#include "history/HistoryAggregates.h"

#include "history/HistorySql.h"

#include <QSqlError>

namespace {

using F = HistoryFigures;

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

HistoryAggregates::HistoryAggregates(const QString& connectionName)
    : m_readAgg(HistorySql::database(connectionName))
    , m_writeAgg(HistorySql::database(connectionName))
    , m_readHour(HistorySql::database(connectionName))
    , m_writeHour(HistorySql::database(connectionName)) {
    m_ready = checked(m_readAgg, m_readAgg.prepare(selectSql(QStringLiteral("agg")))) &&
              checked(m_writeAgg, m_writeAgg.prepare(insertSql(QStringLiteral("agg")))) &&
              checked(m_readHour, m_readHour.prepare(selectSql(QStringLiteral("agg_hour")))) &&
              checked(m_writeHour, m_writeHour.prepare(insertSql(QStringLiteral("agg_hour"))));
    m_readAgg.setForwardOnly(true);
    m_readHour.setForwardOnly(true);
}

bool HistoryAggregates::checked(const QSqlQuery& query, bool ok) {
    if (!ok && !m_failure)
        m_failure = query.lastError().text();
    return ok;
}

bool HistoryAggregates::add(const F::ServerBuckets& buckets) {
    bool ok = m_ready;
    // Each hour gets the sum of what its buckets got.
    QMap<QPair<qint64, qint64>, QList<F::Bucket>> hours;
    for (auto bucket = buckets.cbegin(); ok && bucket != buckets.cend(); ++bucket) {
        const auto [server, index] = bucket.key();
        F::Bucket b = bucket.value();
        b.startUtcMs = index * F::BucketMs;
        ok = addTo(m_readAgg, m_writeAgg, server, index, b);
        hours[{server, F::floorDiv(b.startUtcMs, F::HourMs)}].append(b);
    }
    for (auto hour = hours.cbegin(); ok && hour != hours.cend(); ++hour)
        ok = addTo(m_readHour, m_writeHour, hour.key().first, hour.key().second,
                   F::sumOf(hour.value()));
    return ok;
}

bool HistoryAggregates::addTo(QSqlQuery& read, QSqlQuery& write, qint64 serverId, qint64 index,
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
