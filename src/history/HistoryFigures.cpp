#include "history/HistoryFigures.h"

#include <algorithm>
#include <cmath>

namespace {

struct Figures {
    qint32 min = 0, mean = 0, max = 0, p95 = 0;
};

Figures figuresOf(QList<qint32>& values) {
    Figures figures;
    if (values.isEmpty())
        return figures;
    qint64 sum = 0;
    for (const qint32 value : values)
        sum += value;
    figures.p95 = HistoryFigures::percentile95(values); // sorts
    figures.min = values.first();
    figures.max = values.last();
    figures.mean = static_cast<qint32>(std::llround(double(sum) / double(values.size())));
    return figures;
}

} // namespace

qint64 HistoryFigures::floorDiv(qint64 value, qint64 divisor) {
    qint64 quotient = value / divisor;
    if (value % divisor != 0 && value < 0)
        --quotient;
    return quotient;
}

void HistoryFigures::Totals::add(const Bucket& b) {
    const qint32 answered = b.echoes - b.lost;
    count += b.count;
    faults += b.faults;
    replies += b.replies;
    echoes += b.echoes;
    lost += b.lost;
    replySum += double(b.replyMean) * b.replies;
    echoSum += double(b.echoMean) * answered;
    if (b.replies > 0) {
        replyMin = qMin(replyMin, b.replyMin);
        replyMax = qMax(replyMax, b.replyMax);
    }
    if (answered > 0) {
        echoMin = qMin(echoMin, b.echoMin);
        echoMax = qMax(echoMax, b.echoMax);
    }
}

void HistoryFigures::Totals::add(const Totals& other) {
    count += other.count;
    faults += other.faults;
    replies += other.replies;
    echoes += other.echoes;
    lost += other.lost;
    replySum += other.replySum;
    echoSum += other.echoSum;
    replyMin = qMin(replyMin, other.replyMin);
    replyMax = qMax(replyMax, other.replyMax);
    echoMin = qMin(echoMin, other.echoMin);
    echoMax = qMax(echoMax, other.echoMax);
}

HistoryFigures::Bucket HistoryFigures::sumOf(const QList<Bucket>& parts) {
    Totals total;
    qint32 maintenance = 0;
    QList<QPair<qint32, qint64>> replyWeights, echoWeights;
    for (const Bucket& part : parts) {
        total.add(part);
        maintenance += part.maintenance;
        replyWeights.append({part.replyP95, part.replies});
        echoWeights.append({part.echoP95, part.echoes - part.lost});
    }
    Bucket sum;
    sum.startUtcMs = parts.isEmpty() ? 0 : parts.first().startUtcMs;
    sum.count = qint32(total.count);
    sum.faults = qint32(total.faults);
    sum.replies = qint32(total.replies);
    sum.echoes = qint32(total.echoes);
    sum.lost = qint32(total.lost);
    sum.maintenance = maintenance;
    if (total.replies > 0) {
        sum.replyMin = total.replyMin;
        sum.replyMax = total.replyMax;
        sum.replyMean = static_cast<qint32>(std::llround(total.replySum / double(total.replies)));
        sum.replyP95 = weightedP95(replyWeights);
    }
    const qint64 answered = total.echoes - total.lost;
    if (answered > 0) {
        sum.echoMin = total.echoMin;
        sum.echoMax = total.echoMax;
        sum.echoMean = static_cast<qint32>(std::llround(total.echoSum / double(answered)));
        sum.echoP95 = weightedP95(echoWeights);
    }
    return sum;
}

qint32 HistoryFigures::weightedP95(QList<QPair<qint32, qint64>> weights) {
    std::sort(weights.begin(), weights.end());
    qint64 total = 0;
    for (const auto& weight : weights)
        total += qMax<qint64>(0, weight.second);
    const qint64 rank = (total * 95 + 99) / 100;
    qint64 seen = 0;
    for (const auto& weight : weights) {
        seen += qMax<qint64>(0, weight.second);
        if (total > 0 && seen >= rank)
            return weight.first;
    }
    return 0;
}

HistoryFigures::Bucket HistoryFigures::bucketOf(const QList<ProbeOutcome>& outcomes) {
    Bucket b;
    if (outcomes.isEmpty())
        return b;
    b.startUtcMs = floorDiv(outcomes.first().timeUtcMs, BucketMs) * BucketMs;
    QList<qint32> replies, echoes;
    for (const ProbeOutcome& outcome : outcomes) {
        if (outcome.isSocket()) {
            ++b.count;
            if (outcome.isFault())
                ++b.faults;
            if (outcome.kind == ProbeOutcome::Correct || outcome.kind == ProbeOutcome::Wrong)
                replies.append(outcome.ms);
        } else {
            ++b.echoes;
            if (outcome.kind == ProbeOutcome::EchoLost)
                ++b.lost;
            else
                echoes.append(outcome.ms);
        }
    }
    b.replies = static_cast<qint32>(replies.size());
    const Figures reply = figuresOf(replies);
    const Figures echo = figuresOf(echoes);
    b.replyMin = reply.min;
    b.replyMean = reply.mean;
    b.replyMax = reply.max;
    b.replyP95 = reply.p95;
    b.echoMin = echo.min;
    b.echoMean = echo.mean;
    b.echoMax = echo.max;
    b.echoP95 = echo.p95;
    return b;
}

qint32 HistoryFigures::percentile95(QList<qint32>& values) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype rank = (values.size() * 95 + 99) / 100; // ceil(0.95 n), 1-based
    return values.at(qMax<qsizetype>(rank, 1) - 1);
}
