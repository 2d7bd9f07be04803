#pragma once

#include "monitor/ResultRecorder.h"

#include <QList>
#include <QPair>
#include <QString>

#include <limits>
#include <optional>

// The result history in an SQLite file of its own, History.db beside the
// catalogue: raw results, and 5-minute aggregates of them (UTC buckets) that
// outlive the raw rows. Each store has its own connection, so the writer
// thread and the windows never share one. The schema version is the file's
// user_version; a file of a newer version, or one that is not a history
// file, is set aside under a timestamped name, never overwritten.
class HistoryStore final {
    Q_DISABLE_COPY_MOVE(HistoryStore)
public:
    static constexpr qint64 BucketMs = 5 * 60 * 1000;
    static constexpr qint64 HourMs = 60 * 60 * 1000; // the buckets again, summed per hour
    static constexpr int SchemaVersion = 1;

    // The figures of one 5-minute bucket of one server. Reply times are
    // those of the replies that came (correct or wrong); echo times those
    // of the answered echoes.
    struct Bucket {
        qint64 startUtcMs = 0;
        qint32 count = 0;  // socket results
        qint32 faults = 0; // wrong replies, socket errors, time-outs
        qint32 replies = 0;
        qint32 replyMin = 0, replyMean = 0, replyMax = 0, replyP95 = 0;
        qint32 echoes = 0; // echoes sent
        qint32 lost = 0;
        qint32 echoMin = 0, echoMean = 0, echoMax = 0, echoP95 = 0;
    };

    explicit HistoryStore(const QString& connectionName);
    ~HistoryStore();

    // Opens the file, creating it with its tables when missing. False when
    // it cannot be opened or created; message() then says why. A file set
    // aside leaves a message too, and a fresh file is opened in its place.
    bool open(const QString& path);
    bool isOpen() const;
    void close();
    QString message() const { return m_message; }
    QString path() const { return m_path; }

    // Stores the results in one transaction.
    bool append(const QList<ProbeOutcome>& outcomes);
    // Folds every raw result of a bucket that ended a minute before now or
    // earlier into its aggregate, then drops raw results older than rawDays
    // and aggregates older than keepDays. With servers, only theirs are
    // looked at, each through its key instead of a pass over the whole file:
    // they must include every server with results not aggregated yet.
    bool maintain(qint64 nowUtcMs, int rawDays, int keepDays,
                  const std::optional<QList<qint64>>& servers = std::nullopt);
    bool deleteServer(qint64 serverId);

    // Raw results of one server with from <= time < to, oldest first.
    QList<ProbeOutcome> raw(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs) const;
    // Aggregates of one server whose buckets start in [from, to), oldest first.
    QList<Bucket> buckets(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs) const;
    // Raw results from this time on are not in any aggregate yet.
    qint64 aggregatedUntil() const;

    // Buckets summed over a longer span.
    struct Totals {
        qint64 startUtcMs = 0;
        qint64 count = 0, faults = 0, replies = 0, echoes = 0, lost = 0;
        double replySum = 0, echoSum = 0; // mean times their weight
        qint32 replyMin = std::numeric_limits<qint32>::max(), replyMax = 0;
        qint32 echoMin = std::numeric_limits<qint32>::max(), echoMax = 0;
        void add(const Bucket& bucket);
        void add(const Totals& other);
    };
    // The aggregates of one server in [from, to) summed per span of spanMs
    // counted from fromUtcMs, oldest first; spans without buckets are left out.
    // Spans of an hour or more are made of whole hours.
    QList<Totals> spans(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs, qint64 spanMs) const;
    // The distinct 95th percentiles of the buckets in [from, to), each with
    // the number of replies (or answered echoes) behind it, in rising order.
    QList<QPair<qint32, qint64>> p95Weights(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                            bool echo, bool hourly) const;
    // Several buckets as one: counts and extremes exact, the mean weighted,
    // the 95th percentile estimated from the buckets' own.
    static Bucket sumOf(const QList<Bucket>& parts);
    // The 95th percentile of values each standing for a weight of results.
    static qint32 weightedP95(QList<QPair<qint32, qint64>> weights);

    // The figures of results that all fall in one bucket.
    static Bucket bucketOf(const QList<ProbeOutcome>& outcomes);
    // Nearest-rank 95th percentile of values (sorted in place); 0 when empty.
    static qint32 percentile95(QList<qint32>& values);

private:
    bool openFile(const QString& path);
    bool schemaUsable(int& version);
    bool createSchema();
    bool setAside(const QString& path, const QString& why);
    bool exec(const QString& sql, const QVariantList& values = {});
    bool insertBucket(const QString& table, qint64 serverId, qint64 index, const Bucket& b);

    QString m_connection;
    QString m_path;
    QString m_message;
};
