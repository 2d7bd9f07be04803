#pragma once

#include "history/HistoryFigures.h"

#include <QHash>
#include <QList>
#include <QMap>

#include <limits>

// Which results the history keeps raw when it need keep only every Nth.
// A server's result is kept when its kind differs from the server's
// previous result of the same sort (socket or echo), which makes the first
// of each sort after start always kept, and when it is the 1st, N+1st,
// 2N+1st... of that sort by the server's own count. The others are held
// here by bucket and handed out as figures once their bucket is over, to
// be added to the aggregates at once: the aggregates count every result.
// With N = 1 every result is kept.
class HistoryThinning final {
    Q_DISABLE_COPY_MOVE(HistoryThinning)
public:
    // How long after its end a bucket still waits for late results; one that
    // comes later still is handed out on its own.
    static constexpr qint64 GraceMs = 60 * 1000;

    struct Batch {
        QList<ProbeOutcome> raw;              // to be stored as raw results
        HistoryFigures::ServerBuckets folded; // held results whose buckets are over
        // Raw results before this time are not whole any more (some were
        // held); the minimum when none were.
        qint64 heldUntilUtcMs = std::numeric_limits<qint64>::min();
    };

    HistoryThinning() = default;

    // Sorts the results with every as N; the latest time among them closes
    // the buckets that are over.
    Batch take(const QList<ProbeOutcome>& outcomes, int every);
    // The figures of the held results whose buckets ended GraceMs before now.
    HistoryFigures::ServerBuckets takeOver(qint64 nowUtcMs);
    // The figures of everything held.
    HistoryFigures::ServerBuckets takeAll();
    // Drops what is held and known of the server.
    void forget(qint64 serverId);

private:
    struct Held {
        qint32 ms = 0;
        ProbeOutcome::Kind kind = ProbeOutcome::Correct;
        bool maintenance = false;
    };
    // A server's previous kind (0 for none yet) and count of each sort.
    struct Last {
        quint8 socketKind = 0, echoKind = 0;
        qint64 socketCount = 0, echoCount = 0;
    };

    bool keep(const ProbeOutcome& outcome, int every);
    // The figures of the buckets before the given one, no longer held.
    HistoryFigures::ServerBuckets takeBefore(qint64 bucket);

    QHash<qint64, Last> m_last;
    QMap<qint64, QHash<qint64, QList<Held>>> m_held; // by bucket, then server
    qint64 m_latestUtcMs = 0;
};
