#include "history/HistoryQuery.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 DayMs = 24 * 3600 * 1000;
constexpr qint64 LongRangeMs = 30 * DayMs;

// Ranges this long are read from the aggregates only.
bool fromAggregatesOnly(HistoryQuery::Range range) {
    return HistoryQuery::rangeMs(range) >= LongRangeMs;
}

QString connectionName() {
    static QAtomicInt next;
    return QStringLiteral("HistoryQuery%1").arg(next.fetchAndAddRelaxed(1));
}

// Buckets from raw results (one server), oldest first.
QList<HistoryStore::Bucket> bucketsOf(const QList<ProbeOutcome>& raw) {
    QList<HistoryStore::Bucket> buckets;
    QList<ProbeOutcome> group;
    for (const ProbeOutcome& outcome : raw) {
        if (!group.isEmpty() && outcome.timeUtcMs / HistoryStore::BucketMs !=
                                    group.first().timeUtcMs / HistoryStore::BucketMs) {
            buckets.append(HistoryStore::bucketOf(group));
            group.clear();
        }
        group.append(outcome);
    }
    if (!group.isEmpty())
        buckets.append(HistoryStore::bucketOf(group));
    return buckets;
}

qint32 rounded(double value) {
    return static_cast<qint32>(std::llround(value));
}

// Sums that make a mean.
struct Mean {
    double sum = 0;
    qint64 count = 0;
    void add(double value) {
        sum += value;
        ++count;
    }
    std::optional<qint32> value() const {
        return count > 0 ? std::optional<qint32>(rounded(sum / double(count))) : std::nullopt;
    }
};

std::optional<HistoryQuery::Figures> exactFigures(QList<qint32> values) {
    if (values.isEmpty())
        return std::nullopt;
    Mean mean;
    for (const qint32 value : values)
        mean.add(value);
    HistoryQuery::Figures figures;
    figures.p95 = HistoryStore::percentile95(values);
    figures.min = values.first();
    figures.max = values.last();
    figures.mean = *mean.value();
    return figures;
}

QString isoTime(qint64 utcMs) {
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString kindName(ProbeOutcome::Kind kind) {
    switch (kind) {
    case ProbeOutcome::Correct:
        return QCoreApplication::translate("HistoryQuery", "正确应答");
    case ProbeOutcome::Wrong:
        return QCoreApplication::translate("HistoryQuery", "应答错误");
    case ProbeOutcome::SocketError:
        return QCoreApplication::translate("HistoryQuery", "SOCKET错误");
    case ProbeOutcome::TimedOut:
        return QCoreApplication::translate("HistoryQuery", "SOCKET超时");
    case ProbeOutcome::EchoAnswered:
        return QCoreApplication::translate("HistoryQuery", "Ping应答");
    case ProbeOutcome::EchoLost:
        return QCoreApplication::translate("HistoryQuery", "Ping丢包");
    }
    return QString::number(int(kind));
}

QString percentText(const std::optional<double>& value) {
    if (!value)
        return QCoreApplication::translate("HistoryQuery", "无数据");
    return QLocale::c().toString(*value, 'f', 2) + QLatin1Char('%');
}

QString figuresText(const std::optional<HistoryQuery::Figures>& figures, bool estimated) {
    if (!figures)
        return QCoreApplication::translate("HistoryQuery", "无数据");
    return QCoreApplication::translate("HistoryQuery",
                                       "最小 %1ms  平均 %2ms  最大 %3ms  P95 %4%5ms")
        .arg(figures->min)
        .arg(figures->mean)
        .arg(figures->max)
        .arg(estimated ? QCoreApplication::translate("HistoryQuery", "约") : QString())
        .arg(figures->p95);
}

} // namespace

qint64 HistoryQuery::rangeMs(Range range) {
    switch (range) {
    case Range::Hour:
        return 3600 * 1000;
    case Range::Day:
        return DayMs;
    case Range::Week:
        return 7 * DayMs;
    case Range::Month:
        return 30 * DayMs;
    case Range::Year:
        return 365 * DayMs;
    }
    return DayMs;
}

QString HistoryQuery::rangeName(Range range) {
    switch (range) {
    case Range::Hour:
        return QCoreApplication::translate("HistoryQuery", "1小时");
    case Range::Day:
        return QCoreApplication::translate("HistoryQuery", "24小时");
    case Range::Week:
        return QCoreApplication::translate("HistoryQuery", "7天");
    case Range::Month:
        return QCoreApplication::translate("HistoryQuery", "30天");
    case Range::Year:
        return QCoreApplication::translate("HistoryQuery", "1年");
    }
    return {};
}

HistoryQuery::HistoryQuery(const QString& path)
    : m_store(connectionName()) {
    // A missing file is not made here.
    if (QFileInfo::exists(path))
        m_store.openForReading(path);
}

HistoryQuery::~HistoryQuery() = default;

bool HistoryQuery::isOpen() const {
    return m_store.isOpen();
}

bool HistoryQuery::isBusy() const {
    return m_store.isBusy();
}

QString HistoryQuery::problem() const {
    return m_store.isOpen() ? QString() : m_store.message();
}

// Where a view of [from, to) changes from the aggregates to the raw
// results, on a boundary of unit: at the start of the raw results kept (or
// at to for a view of aggregates only), at from when no whole unit lies
// before it.
qint64 HistoryQuery::cutOf(qint64 fromUtcMs, qint64 toUtcMs, qint64 unitMs,
                           bool aggregatesOnly) const {
    if (aggregatesOnly)
        return toUtcMs;
    const auto ceiling = [unitMs](qint64 time) {
        return HistoryStore::floorDiv(time + unitMs - 1, unitMs) * unitMs;
    };
    const qint64 cut = ceiling(m_store.rawFrom());
    return cut <= ceiling(fromUtcMs) ? fromUtcMs : qMin(cut, toUtcMs);
}

std::optional<double> HistoryQuery::availability(qint64 serverId, qint64 fromUtcMs, qint64 toUtcMs,
                                                 qint64 aggregatedId) const {
    const auto [results, faults] = m_store.socketCounts(
        serverId, fromUtcMs, toUtcMs, cutOf(fromUtcMs, toUtcMs, HistoryStore::BucketMs, false),
        aggregatedId);
    if (results == 0)
        return std::nullopt;
    return 100.0 * double(results - faults) / double(results);
}

HistoryQuery::Report HistoryQuery::load(qint64 serverId, Range range, qint64 nowUtcMs,
                                        int maxPoints) const {
    Report report;
    report.range = range;
    report.serverId = serverId;
    report.toUtcMs = nowUtcMs + 1;
    report.fromUtcMs = report.toUtcMs - rangeMs(range);
    if (!m_store.isOpen())
        return report;
    const HistoryStore::ReadTransaction snapshot(m_store);
    const qint64 aggregatedId = m_store.aggregatedId();
    const std::array<qint64, 3> availabilitySpans = {DayMs, 7 * DayMs, 30 * DayMs};
    for (size_t i = 0; i < availabilitySpans.size(); ++i)
        report.availability.at(i) = availability(serverId, report.toUtcMs - availabilitySpans.at(i),
                                                 report.toUtcMs, aggregatedId);

    const qint64 slotMs = qMax<qint64>(1, (rangeMs(range) + maxPoints - 1) / qMax(1, maxPoints));
    const auto slotOf = [&](qint64 time) { return (time - report.fromUtcMs) / slotMs; };

    // Long ranges come from the aggregates; shorter ones from the raw
    // results, and from the aggregates for the time before the raw results
    // kept. Either way the raw results the aggregates do not hold yet are
    // read too, whatever their time.
    const bool hourly = slotMs >= HistoryStore::HourMs;
    const qint64 cut =
        cutOf(report.fromUtcMs, report.toUtcMs,
              hourly ? HistoryStore::HourMs : HistoryStore::BucketMs, fromAggregatesOnly(range));
    report.raw = m_store.raw(serverId, report.fromUtcMs, report.toUtcMs, cut, aggregatedId);
    report.aggregated = cut > report.fromUtcMs;
    if (!report.aggregated) {
        QList<qint32> replies, echoes;
        qint64 slot = -1;
        Mean reply, echo;
        const auto closeSlot = [&] {
            if (slot < 0)
                return;
            report.points.last().replyMs = reply.value();
            report.points.last().echoMs = echo.value();
            reply = {};
            echo = {};
        };
        for (const ProbeOutcome& outcome : std::as_const(report.raw)) {
            if (slotOf(outcome.timeUtcMs) != slot) {
                closeSlot();
                slot = slotOf(outcome.timeUtcMs);
                report.points.append({report.fromUtcMs + slot * slotMs, {}, {}, 0, 0});
            }
            Point& point = report.points.last();
            if (outcome.isSocket()) {
                ++report.results;
                if (outcome.isFault()) {
                    ++report.faults;
                    ++point.faults;
                }
                if (outcome.kind == ProbeOutcome::Correct || outcome.kind == ProbeOutcome::Wrong) {
                    replies.append(outcome.ms);
                    reply.add(outcome.ms);
                }
            } else {
                ++report.echoes;
                if (outcome.kind == ProbeOutcome::EchoLost) {
                    ++report.lost;
                    ++point.lost;
                } else {
                    echoes.append(outcome.ms);
                    echo.add(outcome.ms);
                }
            }
        }
        closeSlot();
        report.reply = exactFigures(replies);
        report.echo = exactFigures(echoes);
        return report;
    }

    // The aggregates before the cut, and the raw results as buckets of their
    // own.
    QMap<qint64, HistoryStore::Totals> bySlot;
    for (const HistoryStore::Totals& span : m_store.spans(serverId, report.fromUtcMs, cut, slotMs))
        bySlot.insert(span.startUtcMs, span);
    QList<QPair<qint32, qint64>> replyWeights =
        m_store.p95Weights(serverId, report.fromUtcMs, cut, false, hourly);
    QList<QPair<qint32, qint64>> echoWeights =
        m_store.p95Weights(serverId, report.fromUtcMs, cut, true, hourly);
    for (const HistoryStore::Bucket& b : bucketsOf(report.raw)) {
        const qint64 start = report.fromUtcMs + qMax<qint64>(0, slotOf(b.startUtcMs)) * slotMs;
        HistoryStore::Totals& span = bySlot[start];
        span.startUtcMs = start;
        span.add(b);
        if (b.replies > 0)
            replyWeights.append({b.replyP95, b.replies});
        if (b.echoes > b.lost)
            echoWeights.append({b.echoP95, b.echoes - b.lost});
    }
    const QList<HistoryStore::Totals> spans = bySlot.values();
    HistoryStore::Totals total;
    for (const HistoryStore::Totals& span : std::as_const(spans)) {
        total.add(span);
        Point point{span.startUtcMs, {}, {}, qint32(span.faults), qint32(span.lost)};
        if (span.replies > 0)
            point.replyMs = rounded(span.replySum / double(span.replies));
        if (span.echoes > span.lost)
            point.echoMs = rounded(span.echoSum / double(span.echoes - span.lost));
        report.points.append(point);
    }
    report.results = qint32(total.count);
    report.faults = qint32(total.faults);
    report.echoes = qint32(total.echoes);
    report.lost = qint32(total.lost);
    if (total.replies > 0)
        report.reply = Figures{total.replyMin, rounded(total.replySum / double(total.replies)),
                               total.replyMax, HistoryStore::weightedP95(replyWeights)};
    const qint64 answered = total.echoes - total.lost;
    if (answered > 0)
        report.echo = Figures{total.echoMin, rounded(total.echoSum / double(answered)),
                              total.echoMax, HistoryStore::weightedP95(echoWeights)};
    return report;
}

QStringList HistoryQuery::summaryLines(const Report& report) {
    QStringList lines;
    lines << QCoreApplication::translate("HistoryQuery", "可用率(24小时):") +
                 percentText(report.availability.at(0))
          << QCoreApplication::translate("HistoryQuery", "可用率(7天):") +
                 percentText(report.availability.at(1))
          << QCoreApplication::translate("HistoryQuery", "可用率(30天):") +
                 percentText(report.availability.at(2));
    const QString range = rangeName(report.range);
    lines << QCoreApplication::translate("HistoryQuery", "应答时间(%1):").arg(range) +
                 figuresText(report.reply, report.aggregated)
          << QCoreApplication::translate("HistoryQuery", "Ping延时(%1):").arg(range) +
                 figuresText(report.echo, report.aggregated)
          << QCoreApplication::translate("HistoryQuery", "SOCKET结果:%1  异常:%2")
                 .arg(report.results)
                 .arg(report.faults)
          << QCoreApplication::translate("HistoryQuery", "Ping:%1  丢包:%2")
                 .arg(report.echoes)
                 .arg(report.lost);
    if (report.aggregated)
        lines << QCoreApplication::translate("HistoryQuery", "(约:由5分钟汇总数据估算)");
    return lines;
}

QString HistoryQuery::csv(const Report& report) const {
    QStringList rows;
    if (!report.aggregated) {
        rows << QCoreApplication::translate("HistoryQuery", "时间,结果,毫秒,状态");
        for (const ProbeOutcome& o : report.raw)
            rows << QStringLiteral("%1,%2,%3,%4")
                        .arg(isoTime(o.timeUtcMs), kindName(o.kind))
                        .arg(o.ms)
                        .arg(o.status);
    } else {
        rows << QCoreApplication::translate(
            "HistoryQuery", "开始时间,SOCKET结果,异常,应答数,应答最小ms,应答平均ms,应答最大ms,"
                            "应答P95ms,Ping,丢包,Ping最小ms,Ping平均ms,Ping最大ms,PingP95ms");
        // The aggregates before the cut and the raw results as buckets; a
        // bucket with both is one row.
        const HistoryStore::ReadTransaction snapshot(m_store);
        const qint64 cut = cutOf(report.fromUtcMs, report.toUtcMs, HistoryStore::BucketMs,
                                 fromAggregatesOnly(report.range));
        QMap<qint64, HistoryStore::Bucket> byStart;
        for (const HistoryStore::Bucket& b :
             m_store.buckets(report.serverId, report.fromUtcMs, cut))
            byStart.insert(b.startUtcMs, b);
        for (const HistoryStore::Bucket& b : bucketsOf(m_store.raw(
                 report.serverId, report.fromUtcMs, report.toUtcMs, cut, m_store.aggregatedId()))) {
            const auto stored = byStart.constFind(b.startUtcMs);
            byStart.insert(b.startUtcMs,
                           stored == byStart.cend() ? b : HistoryStore::sumOf({*stored, b}));
        }
        const QList<HistoryStore::Bucket> buckets = byStart.values();
        for (const HistoryStore::Bucket& b : std::as_const(buckets)) {
            if (b.count == 0 && b.echoes == 0)
                continue; // only results taken during maintenance
            QStringList cells = {isoTime(b.startUtcMs)};
            for (const qint32 value :
                 {b.count, b.faults, b.replies, b.replyMin, b.replyMean, b.replyMax, b.replyP95,
                  b.echoes, b.lost, b.echoMin, b.echoMean, b.echoMax, b.echoP95})
                cells << QString::number(value);
            rows << cells.join(QLatin1Char(','));
        }
    }
    return rows.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}
