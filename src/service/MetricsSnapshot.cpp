#include "service/MetricsSnapshot.h"

#include "platform/Clock.h"
#include "service/MetricsCollector.h"

MetricsSnapshot::MetricsSnapshot(const MetricsCollector& collector, const Clock& clock)
    : m_collector(collector)
    , m_clock(clock) {}

QByteArray MetricsSnapshot::text() {
    const qint64 now = m_clock.monotonicMs();
    if (!m_built || now - m_builtMs >= MaxAgeMs) {
        m_text = m_collector.text();
        m_builtMs = now;
        m_built = true;
    }
    return m_text;
}
