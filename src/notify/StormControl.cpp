#include "notify/StormControl.h"

bool StormControl::admit(qint64 channelId, int limit, qint64 nowMs) {
    if (limit <= 0)
        return true;
    Minute& minute = m_minutes[channelId];
    if (minute.count == 0 || nowMs - minute.startMs >= MinuteMs)
        minute = {nowMs, 0};
    return ++minute.count <= limit;
}

std::optional<qint64> StormControl::minuteEnds(qint64 channelId, qint64 nowMs) const {
    const auto found = m_minutes.constFind(channelId);
    if (found == m_minutes.cend() || found->count == 0 || nowMs - found->startMs >= MinuteMs)
        return std::nullopt;
    return found->startMs + MinuteMs;
}
