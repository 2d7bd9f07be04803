#pragma once

#include <QByteArray>

class Clock;
class MetricsCollector;

// The collector's text, built at most once per MaxAgeMs: a scrape within
// that time of the last build gets the same text. Building the text of
// thousands of servers takes a while on the thread that runs the passes;
// however often the metrics are asked for, that happens once a second.
class MetricsSnapshot final {
    Q_DISABLE_COPY_MOVE(MetricsSnapshot)
public:
    static constexpr qint64 MaxAgeMs = 1000;

    MetricsSnapshot(const MetricsCollector& collector, const Clock& clock);

    QByteArray text();

private:
    const MetricsCollector& m_collector;
    const Clock& m_clock;
    QByteArray m_text;
    qint64 m_builtMs = 0;
    bool m_built = false;
};
