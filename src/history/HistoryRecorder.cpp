#include "history/HistoryRecorder.h"

#include "history/HistoryWriter.h"
#include "monitor/MonitorSettings.h"
#include "platform/Clock.h"

namespace {
// Retention as the settings give it, kept within what the dialog accepts
// should the file hold something else.
int rawDaysOf(const MonitorSettings& settings) {
    return qBound(1, settings.HistRawDays, 3650);
}
int keepDaysOf(const MonitorSettings& settings) {
    return qBound(rawDaysOf(settings), settings.HistDays, 36500);
}
} // namespace

HistoryRecorder::HistoryRecorder(const QString& path, const MonitorSettings& settings,
                                 const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_path(path)
    , m_settings(settings)
    , m_clock(clock)
    , m_writer(new HistoryWriter) {
    m_thread.setObjectName(QStringLiteral("HistoryWriter"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &HistoryWriter::notice, this, &HistoryRecorder::warning);
    connect(m_writer, &HistoryWriter::failed, this, &HistoryRecorder::writerFailed);
    m_thread.start(QThread::LowPriority);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &HistoryRecorder::flush);
    m_maintenanceTimer.setInterval(MaintenanceIntervalMs);
    connect(&m_maintenanceTimer, &QTimer::timeout, this, &HistoryRecorder::runMaintenance);
    m_maintenanceTimer.start();

    const qint64 now = m_clock.utcMs();
    const int rawDays = rawDaysOf(m_settings);
    const int keepDays = keepDaysOf(m_settings);
    QMetaObject::invokeMethod(m_writer, [writer = m_writer, path, now, rawDays, keepDays] {
        writer->open(path, now, rawDays, keepDays);
    });
}

HistoryRecorder::~HistoryRecorder() {
    flush();
    QMetaObject::invokeMethod(m_writer, &HistoryWriter::close, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_writer;
}

void HistoryRecorder::record(const ProbeOutcome& outcome) {
    if (m_dropped || m_settings.History == 0)
        return;
    m_buffer.append(outcome);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void HistoryRecorder::flush() {
    m_flushTimer.stop();
    if (m_dropped || m_buffer.isEmpty())
        return;
    QMetaObject::invokeMethod(m_writer, [this, writer = m_writer, outcomes = std::move(m_buffer),
                                         rawEvery = m_settings.HistRawEvery] {
        writer->write(outcomes, rawEvery);
        QMetaObject::invokeMethod(this, &HistoryRecorder::flushed, Qt::QueuedConnection);
    });
    m_buffer = {};
}

void HistoryRecorder::forgetServer(qint64 serverId) {
    m_buffer.removeIf([serverId](const ProbeOutcome& o) { return o.serverId == serverId; });
    QMetaObject::invokeMethod(m_writer,
                              [writer = m_writer, serverId] { writer->deleteServer(serverId); });
}

void HistoryRecorder::runMaintenance() {
    const qint64 now = m_clock.utcMs();
    const int rawDays = rawDaysOf(m_settings);
    const int keepDays = keepDaysOf(m_settings);
    QMetaObject::invokeMethod(m_writer, [writer = m_writer, now, rawDays, keepDays] {
        writer->maintain(now, rawDays, keepDays);
    });
}

void HistoryRecorder::writerFailed(const QString& message) {
    if (m_dropped)
        return;
    m_dropped = true;
    m_buffer.clear();
    m_flushTimer.stop();
    emit warning(message);
}
