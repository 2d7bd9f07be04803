#pragma once

#include "history/HistoryFigures.h"
#include "history/HistorySchema.h"
#include "monitor/ResultRecorder.h"

#include <QList>
#include <QPair>
#include <QString>

#include <limits>
#include <memory>
#include <optional>

class HistoryMaintenance;

// The result history in an SQLite file of its own, History.db beside the
// catalogue: raw results, and 5-minute aggregates of them (UTC buckets) that
// outlive the raw rows. Each store has its own connection, so the writer
// thread and the windows never share one. The schema version is the file's
// user_version; a file of a newer version, one that is not a history file
// and a damaged one are set aside under a timestamped name, never
// overwritten, while a busy or read-only file is only reported
// (HistorySchema). The figures and their arithmetic (HistoryFigures) are
// named through the store as well.
class HistoryStore final : public HistoryFigures {
    Q_DISABLE_COPY_MOVE(HistoryStore)
public:
    static constexpr int SchemaVersion = HistorySchema::Version;

    explicit HistoryStore(const QString& connectionName);
    ~HistoryStore();

    // Opens the file, creating it with its tables when missing. False when
    // it cannot be opened or created; message() then says why. A file set
    // aside leaves a message too, and a fresh file is opened in its place.
    bool open(const QString& path);
    // Opens an existing file of this version for reading only: nothing is
    // created, migrated or renamed. False when it cannot be read; isBusy()
    // or message() then say why.
    bool openForReading(const QString& path);
    bool isOpen() const;
    // The last open failed because another connection held the file.
    bool isBusy() const { return m_schema.isBusy(); }
    void close();
    QString message() const { return m_message; }
    QString path() const { return m_path; }

    // Stores the results in one transaction; two results of the same time
    // are both kept. A result without a handshake time leaves it NULL. In
    // the same transaction, folded (figures of results kept in no raw row)
    // is added to the aggregates, and with heldUntilUtcMs the raw results
    // before that time count as no longer whole (rawFrom()), so the views
    // read the aggregates there.
    bool append(const QList<ProbeOutcome>& outcomes, const ServerBuckets& folded = {},
                qint64 heldUntilUtcMs = std::numeric_limits<qint64>::min());
    // Folds every raw result not aggregated yet (whatever its time) into the
    // aggregate of its bucket, a bounded piece at a time, then drops the raw
    // results older than rawDays that the aggregates hold and the
    // aggregates older than keepDays. With servers, only their old results
    // and aggregates are looked for, each server through its key instead of
    // a pass over the whole file.
    bool maintain(qint64 nowUtcMs, int rawDays, int keepDays,
                  const std::optional<QList<qint64>>& servers = std::nullopt);
    // The same in steps, so that writing can go on between them: a run
    // begins (replacing one not finished), then each step does a piece of
    // it in one transaction.
    enum class Step { More, Done, Failed };
    void beginMaintenance(qint64 nowUtcMs, int rawDays, int keepDays,
                          const std::optional<QList<qint64>>& servers = std::nullopt);
    Step maintenanceStep();
    bool deleteServer(qint64 serverId);

    // Reads while one of these lives see one state of the file, whatever
    // another connection writes meanwhile.
    class ReadTransaction final {
        Q_DISABLE_COPY_MOVE(ReadTransaction)
    public:
        explicit ReadTransaction(const HistoryStore& store);
        ~ReadTransaction();

    private:
        QString m_connection;
        bool m_begun;
    };

    // Raw results of one server with from <= time < to, oldest first;
    // results taken during maintenance are left out. Before cut, only
    // those the aggregates do not hold yet (ids above aggregatedId).
    QList<ProbeOutcome> raw(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                            qint64 cutUtcMs = std::numeric_limits<qint64>::min(),
                            qint64 aggregatedId = 0) const;
    // The socket results and faults among them of one server in [from, to):
    // from the aggregates whose buckets start before cut, and from the raw
    // results as raw() reads them. Results taken during maintenance are in
    // neither.
    QPair<qint64, qint64> socketCounts(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                       qint64 cutUtcMs, qint64 aggregatedId) const;
    // Aggregates of one server whose buckets start in [from, to), oldest first.
    QList<Bucket> buckets(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs) const;
    // The id of the last raw result the aggregates hold.
    qint64 aggregatedId() const;
    // From this time on every raw result is still kept; the aggregates hold
    // the time before it.
    qint64 rawFrom() const;

    // The aggregates of one server in [from, to) summed per span of spanMs
    // counted from fromUtcMs, oldest first; spans without a result outside
    // maintenance are left out.
    // Spans of an hour or more are made of whole hours.
    QList<Totals> spans(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs, qint64 spanMs) const;
    // The distinct 95th percentiles of the buckets in [from, to), each with
    // the number of replies (or answered echoes) behind it, in rising order.
    QList<QPair<qint32, qint64>> p95Weights(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                            bool echo, bool hourly) const;

private:
    QString m_connection;
    HistorySchema m_schema;
    QString m_path;
    QString m_message;
    std::unique_ptr<HistoryMaintenance> m_maintenance;
};
