#pragma once

#include "history/HistoryFigures.h"

#include <QSqlQuery>
#include <QString>

#include <optional>

// Adds figures to the aggregates of a history file through an open
// connection, inside the caller's transaction: each bucket is merged with
// what its row in agg already holds, and each hour in agg_hour with the sum
// of its buckets. Counts and extremes stay exact, means are weighted, the
// 95th percentile of a merged row is an estimate.
class HistoryAggregates final {
    Q_DISABLE_COPY_MOVE(HistoryAggregates)
public:
    explicit HistoryAggregates(const QString& connectionName);

    // False when it failed, and then failure() says why.
    bool add(const HistoryFigures::ServerBuckets& buckets);
    std::optional<QString> failure() const { return m_failure; }

private:
    // What the table holds for the server's bucket or hour, merged with more.
    bool addTo(QSqlQuery& read, QSqlQuery& write, qint64 serverId, qint64 index,
               const HistoryFigures::Bucket& more);
    // Keeps the query's error as the reason of a failure; ok otherwise.
    bool checked(const QSqlQuery& query, bool ok);

    QSqlQuery m_readAgg, m_writeAgg, m_readHour, m_writeHour;
    bool m_ready = false;
    std::optional<QString> m_failure;
};
