#pragma once

#include <QtGlobal>

#include <optional>

// When a message the channel did not accept is tried again: 5 s, 30 s,
// 2 min and 10 min after the attempts before, then every 10 min, for as
// long as the message is younger than the give-up age (an hour).
class RetrySchedule final {
public:
    static constexpr qint64 DefaultGiveUpMs = 60 * 60 * 1000;

    explicit RetrySchedule(qint64 giveUpMs = DefaultGiveUpMs, qint64 scale = 1)
        : m_giveUpMs(giveUpMs)
        , m_scale(scale) {}

    // After the attempts-th failed attempt (1 for the first) of a message
    // created at createdUtcMs: the time of the next one, or nothing when
    // the message is given up.
    std::optional<qint64> nextAttempt(int attempts, qint64 createdUtcMs, qint64 nowUtcMs) const;
    qint64 giveUpMs() const { return m_giveUpMs; }

private:
    qint64 m_giveUpMs;
    // Divides every wait, so tests see the whole schedule in moments.
    qint64 m_scale;
};
