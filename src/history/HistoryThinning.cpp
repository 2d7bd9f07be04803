#include "history/HistoryThinning.h"

using F = HistoryFigures;

HistoryThinning::Batch HistoryThinning::take(const QList<ProbeOutcome>& outcomes, int every) {
    Batch batch;
    for (const ProbeOutcome& outcome : outcomes) {
        m_latestUtcMs = qMax(m_latestUtcMs, outcome.timeUtcMs);
        if (keep(outcome, every)) {
            batch.raw.append(outcome);
            continue;
        }
        m_held[F::floorDiv(outcome.timeUtcMs, F::BucketMs)][outcome.serverId].append(
            {outcome.ms, outcome.kind, outcome.maintenance});
        batch.heldUntilUtcMs = qMax(batch.heldUntilUtcMs, outcome.timeUtcMs + 1);
    }
    batch.folded = takeOver(m_latestUtcMs);
    return batch;
}

bool HistoryThinning::keep(const ProbeOutcome& outcome, int every) {
    Last& last = m_last[outcome.serverId];
    const bool socket = outcome.isSocket();
    quint8& kind = socket ? last.socketKind : last.echoKind;
    qint64& count = socket ? last.socketCount : last.echoCount;
    const bool changed = kind != outcome.kind;
    kind = outcome.kind;
    const bool nth = every <= 1 || count % every == 0;
    ++count;
    return changed || nth;
}

F::ServerBuckets HistoryThinning::takeOver(qint64 nowUtcMs) {
    return takeBefore(F::floorDiv(nowUtcMs - GraceMs, F::BucketMs));
}

F::ServerBuckets HistoryThinning::takeAll() {
    return takeBefore(std::numeric_limits<qint64>::max());
}

F::ServerBuckets HistoryThinning::takeBefore(qint64 bucket) {
    F::ServerBuckets figures;
    while (!m_held.isEmpty() && m_held.firstKey() < bucket) {
        const qint64 index = m_held.firstKey();
        const QHash<qint64, QList<Held>> servers = m_held.take(index);
        for (auto server = servers.cbegin(); server != servers.cend(); ++server) {
            QList<ProbeOutcome> outcomes;
            qint32 maintenance = 0;
            for (const Held& held : server.value()) {
                if (held.maintenance)
                    ++maintenance;
                else
                    outcomes.append({server.key(), index * F::BucketMs, held.kind, held.ms});
            }
            F::Bucket b = F::bucketOf(outcomes);
            b.startUtcMs = index * F::BucketMs;
            b.maintenance = maintenance;
            figures.insert({server.key(), index}, b);
        }
    }
    return figures;
}

void HistoryThinning::forget(qint64 serverId) {
    m_last.remove(serverId);
    for (auto bucket = m_held.begin(); bucket != m_held.end();) {
        bucket->remove(serverId);
        bucket = bucket->isEmpty() ? m_held.erase(bucket) : std::next(bucket);
    }
}
