#include "service/MetricsStream.h"

#include "platform/Clock.h"
#include "service/MetricsCollector.h"

#include <QDeadlineTimer>

MetricsStream::MetricsStream(const MetricsCollector& collector, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_collector(collector)
    , m_clock(clock) {
    m_startTimer.setSingleShot(true);
    connect(&m_startTimer, &QTimer::timeout, this, &MetricsStream::start);
    // Once per turn of the event loop, after the events that came meanwhile.
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &MetricsStream::step);
}

MetricsStream::~MetricsStream() = default;

void MetricsStream::request() {
    if (m_build || m_startTimer.isActive())
        return;
    const qint64 wait = m_started ? m_startedMs + MinIntervalMs - m_clock.monotonicMs() : 0;
    m_startTimer.start(static_cast<int>(qBound<qint64>(0, wait, MinIntervalMs)));
}

void MetricsStream::written(qint64 bytes) {
    m_written = qMax(m_written, bytes);
    if (m_build && !m_stepTimer.isActive() && m_sent - m_written <= QueueLimit)
        m_stepTimer.start();
}

void MetricsStream::start() {
    m_startedMs = m_clock.monotonicMs();
    m_started = true;
    m_build = std::make_unique<MetricsTextBuild>(m_collector);
    m_stepTimer.start();
}

void MetricsStream::step() {
    if (m_sent - m_written > QueueLimit) {
        m_stepTimer.stop(); // until the server has written more
        return;
    }
    QByteArray text;
    const bool last = m_build->fill(text, PieceBytes, QDeadlineTimer(SliceMs, Qt::PreciseTimer));
    if (last) {
        m_build.reset();
        m_stepTimer.stop();
    } else if (text.isEmpty()) {
        return;
    }
    m_sent += text.size();
    emit piece(text, last);
}
