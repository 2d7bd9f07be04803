#pragma once

#include <QHash>

#include <optional>

// Keeps a channel from flooding its people: within a minute that began with
// a channel's first message, the messages past its limit are held for that
// minute's digest.
class StormControl final {
public:
    static constexpr qint64 MinuteMs = 60'000;

    // Tests shorten the minute.
    explicit StormControl(qint64 minuteMs = MinuteMs)
        : m_minuteMs(minuteMs) {}

    // Whether the channel's message at nowMs goes out now; false: held. A
    // limit of 0 lets everything through.
    bool admit(qint64 channelId, int limit, qint64 nowMs);
    // When the channel's current minute ends, if one is running.
    std::optional<qint64> minuteEnds(qint64 channelId, qint64 nowMs) const;
    void forget(qint64 channelId) { m_minutes.remove(channelId); }

private:
    struct Minute {
        qint64 startMs = 0;
        int count = 0;
    };
    qint64 m_minuteMs;
    QHash<qint64, Minute> m_minutes;
};
