#pragma once

#include "history/HistoryAggregates.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>

// One run of the upkeep of a history file behind HistoryStore: the raw
// results written before the run began that are above the watermark
// (whatever their times) are folded into their 5-minute aggregates and the
// hourly sums of those, at most ChunkRows of them per step and transaction,
// so memory and the time the file is held stay bounded however much has
// piled up. After the last of them, raw results and aggregates that have
// outlived their days are dropped.
class HistoryMaintenance final {
    Q_DISABLE_COPY_MOVE(HistoryMaintenance)
public:
    static constexpr qint64 ChunkRows = 100000;

    // A run through the open connection named connectionName. With servers,
    // only their old results and aggregates are dropped, each server
    // through its key instead of a pass over the whole file.
    HistoryMaintenance(const QString& connectionName, qint64 nowUtcMs, int rawDays, int keepDays,
                       std::optional<QList<qint64>> servers);

    // The next piece of the run; false when it failed, and then failure()
    // says why.
    bool step();
    bool isDone() const { return m_done; }
    std::optional<QString> failure() const { return m_failure; }

private:
    bool inTransaction(const std::function<bool()>& work);
    bool aggregate(qint64 untilId);
    bool expire();
    bool exec(const QString& sql, const QVariantList& values);
    // The first value the statement gives, 0 for none; nothing when it fails.
    std::optional<qint64> number(const QString& sql, const QVariantList& values);
    // Keeps the query's error as the reason of a failure; ok otherwise.
    bool checked(const QSqlQuery& query, bool ok);

    QString m_connection;
    qint64 m_now;
    int m_rawDays;
    int m_keepDays;
    std::optional<QList<qint64>> m_servers;
    qint64 m_aggregatedId = 0; // the watermark
    qint64 m_untilId = 0;      // the last raw result when the run began
    bool m_done = false;
    std::optional<QString> m_failure;
    HistoryAggregates m_aggregates;
};
