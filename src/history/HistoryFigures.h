#pragma once

#include "monitor/ResultRecorder.h"

#include <QList>
#include <QMap>
#include <QPair>

#include <limits>

// What the history makes of results: the figures of one 5-minute bucket
// (UTC) of one server, their sums over longer spans, and the arithmetic
// behind both. Nothing here touches a file.
class HistoryFigures {
public:
    static constexpr qint64 BucketMs = 5 * 60 * 1000;
    static constexpr qint64 HourMs = 60 * 60 * 1000; // the buckets again, summed per hour

    // The figures of one 5-minute bucket of one server. Reply times are
    // those of the replies that came (correct or wrong); echo times those
    // of the answered echoes. Results taken during maintenance are in none
    // of the figures, only in their own count.
    struct Bucket {
        qint64 startUtcMs = 0;
        qint32 count = 0;  // socket results
        qint32 faults = 0; // wrong replies, socket errors, time-outs
        qint32 replies = 0;
        qint32 replyMin = 0, replyMean = 0, replyMax = 0, replyP95 = 0;
        qint32 echoes = 0; // echoes sent
        qint32 lost = 0;
        qint32 echoMin = 0, echoMean = 0, echoMax = 0, echoP95 = 0;
        qint32 maintenance = 0; // results taken during maintenance
    };

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

    // Buckets of several servers, by server and bucket number (the bucket's
    // start divided by BucketMs).
    using ServerBuckets = QMap<QPair<qint64, qint64>, Bucket>;

    // Several buckets as one: counts and extremes exact, the mean weighted,
    // the 95th percentile estimated from the buckets' own.
    static Bucket sumOf(const QList<Bucket>& parts);
    // The 95th percentile of values each standing for a weight of results.
    static qint32 weightedP95(QList<QPair<qint32, qint64>> weights);

    // The figures of results that all fall in one bucket.
    static Bucket bucketOf(const QList<ProbeOutcome>& outcomes);
    // Nearest-rank 95th percentile of values (sorted in place); 0 when empty.
    static qint32 percentile95(QList<qint32>& values);

    // value / divisor rounded down, also for negative values: the bucket
    // or hour a time falls in.
    static qint64 floorDiv(qint64 value, qint64 divisor);
};
