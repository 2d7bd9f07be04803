#include "notify/RetrySchedule.h"

#include <array>

std::optional<qint64> RetrySchedule::nextAttempt(int attempts, qint64 createdUtcMs,
                                                 qint64 nowUtcMs) const {
    static constexpr std::array<qint64, 4> kWaitsMs = {5'000, 30'000, 120'000, 600'000};
    const int step = qBound(0, attempts - 1, int(kWaitsMs.size()) - 1);
    const qint64 next =
        nowUtcMs + qMax<qint64>(1, kWaitsMs[std::size_t(step)] / qMax<qint64>(1, m_scale));
    if (next - createdUtcMs > m_giveUpMs)
        return std::nullopt;
    return next;
}
