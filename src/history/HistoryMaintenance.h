#pragma once

#include "history/HistoryFigures.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// The upkeep of a history file behind HistoryStore::maintain, in one
// transaction: the raw results written since the last run (those above the
// watermark, whatever their times) are folded into their 5-minute
// aggregates and the hourly sums of those, then raw results and aggregates
// that have outlived their days are dropped.
class HistoryMaintenance final {
    Q_DISABLE_COPY_MOVE(HistoryMaintenance)
public:
    // Works through the open connection named connectionName.
    explicit HistoryMaintenance(const QString& connectionName);

    bool run(qint64 nowUtcMs, int rawDays, int keepDays,
             const std::optional<QList<qint64>>& servers);
    // Why the last run failed; nothing when it did not.
    std::optional<QString> failure() const { return m_failure; }

private:
    bool aggregate(qint64 afterId, qint64 untilId);
    bool expire(qint64 nowUtcMs, int rawDays, int keepDays, qint64 aggregatedId,
                const std::optional<QList<qint64>>& servers);
    // What the table holds for the server's bucket or hour, merged with more.
    bool addTo(const QString& table, qint64 serverId, qint64 index,
               const HistoryFigures::Bucket& more);
    bool exec(const QString& sql, const QVariantList& values);
    // Keeps the query's error as the reason of a failure; ok otherwise.
    bool checked(const QSqlQuery& query, bool ok);

    QString m_connection;
    std::optional<QString> m_failure;
};
