#pragma once

#include "history/HistoryStore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// What the history window shows of one server, read through a connection of
// its own: the points of the chart, at most one per pixel, and the figures
// beside it. Ranges shorter than 30 days are read from the raw results, and
// from the 5-minute aggregates for the part older than the raw results kept
// whole (all of it, where only some results were kept raw); longer ones
// from the aggregates. Both add the raw results the aggregates
// do not hold yet. Where aggregates are read, the 95th percentile is an
// estimate.
class HistoryQuery final {
    Q_DISABLE_COPY_MOVE(HistoryQuery)
public:
    enum class Range { Hour, Day, Week, Month, Year };
    static constexpr std::array<Range, 5> Ranges = {Range::Hour, Range::Day, Range::Week,
                                                    Range::Month, Range::Year};
    static qint64 rangeMs(Range range);
    static QString rangeName(Range range);

    struct Point {
        qint64 timeUtcMs = 0;
        std::optional<qint32> replyMs; // mean of the replies in the point
        std::optional<qint32> echoMs;  // mean of the answered echoes
        qint32 faults = 0;
        qint32 lost = 0;
    };
    struct Figures {
        qint32 min = 0, mean = 0, max = 0, p95 = 0;
    };
    struct Report {
        qint64 serverId = 0;
        Range range = Range::Hour;
        qint64 fromUtcMs = 0, toUtcMs = 0;
        bool aggregated = false; // some of it read from the aggregates
        QList<Point> points;
        QList<ProbeOutcome> raw;            // the results read raw
        std::optional<Figures> reply, echo; // none without a value
        qint32 results = 0, faults = 0, echoes = 0, lost = 0;
        std::array<std::optional<double>, 3> availability; // 24 h, 7 d, 30 d, in %
    };

    // Reads the file at path, if there is one, without ever writing it.
    explicit HistoryQuery(const QString& path);
    ~HistoryQuery();
    bool isOpen() const;
    // Another connection held the file so that it could not be read.
    bool isBusy() const;
    // Why an existing file could not be read; empty otherwise.
    QString problem() const;

    Report load(qint64 serverId, Range range, qint64 nowUtcMs, int maxPoints) const;

    // The figures beside the chart, one a line.
    static QStringList summaryLines(const Report& report);
    // The range as CSV: a header row, then one row per result when it was
    // read raw, or per 5-minute bucket when aggregates were read; times in
    // ISO 8601 UTC.
    QString csv(const Report& report) const;

private:
    qint64 cutOf(qint64 fromUtcMs, qint64 toUtcMs, qint64 unitMs, bool aggregatesOnly) const;
    std::optional<double> availability(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                       qint64 aggregatedId) const;

    HistoryStore m_store;
};
