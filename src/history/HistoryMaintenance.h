#pragma once

#include "history/HistoryFigures.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <optional>

class HistoryStore;

// The upkeep of a history file behind HistoryStore::maintain, in one
// transaction: raw results of settled buckets are folded into their
// 5-minute aggregates and the hourly sums of those, then raw results and
// aggregates that have outlived their days are dropped.
class HistoryMaintenance final {
    Q_DISABLE_COPY_MOVE(HistoryMaintenance)
public:
    // Works through the store's open connection, named connectionName.
    HistoryMaintenance(const HistoryStore& store, const QString& connectionName);

    bool run(qint64 nowUtcMs, int rawDays, int keepDays,
             const std::optional<QList<qint64>>& servers);
    // Why the last run failed once its transaction had begun; nothing
    // otherwise.
    std::optional<QString> failure() const { return m_failure; }

private:
    bool aggregate(qint64 fromUtcMs, qint64 untilUtcMs,
                   const std::optional<QList<qint64>>& servers);
    bool expire(qint64 nowUtcMs, qint64 untilUtcMs, int rawDays, int keepDays,
                const std::optional<QList<qint64>>& servers);
    bool insertBucket(const QString& table, qint64 serverId, qint64 index,
                      const HistoryFigures::Bucket& b);
    bool exec(const QString& sql, const QVariantList& values);

    const HistoryStore& m_store;
    QString m_connection;
    std::optional<QString> m_failure;
};
