#pragma once

#include "monitor/ResultRecorder.h"

#include <QList>
#include <QObject>
#include <QThread>
#include <QTimer>

class Clock;
class HistoryWriter;
struct MonitorSettings;

// The monitor's recorder that keeps results in the history file. On the UI
// thread it only buffers; once a second the buffer goes to the writer thread
// in one piece, which stores it in one transaction. Maintenance (aggregation
// and pruning) runs there at start and every hour. Results are kept only
// while settings.History is on; with settings.HistRawEvery above 1 only some
// of them as raw results (HistoryThinning), while the aggregates count all. When the file cannot be
// written the warning is given once and history is dropped; monitoring never notices.
class HistoryRecorder final : public QObject, public ResultRecorder {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryRecorder)
public:
    static constexpr int FlushIntervalMs = 1000;
    static constexpr int MaintenanceIntervalMs = 3600 * 1000;

    HistoryRecorder(const QString& path, const MonitorSettings& settings, const Clock& clock,
                    QObject* parent = nullptr);
    ~HistoryRecorder() override;

    void record(const ProbeOutcome& outcome) override;
    // Drops the server's history, buffered results included.
    void forgetServer(qint64 serverId);
    // Hands the buffer to the writer now.
    void flush();
    void runMaintenance();
    bool isDropped() const { return m_dropped; }
    QString path() const { return m_path; }

signals:
    // A text for the status bar: the file was set aside, or history stopped.
    void warning(const QString& message);
    // Everything handed to the writer so far is in the file (tests wait on it).
    void flushed();

private:
    void writerFailed(const QString& message);

    QString m_path;
    const MonitorSettings& m_settings;
    const Clock& m_clock;
    QThread m_thread;
    HistoryWriter* m_writer;
    QList<ProbeOutcome> m_buffer;
    QTimer m_flushTimer;
    QTimer m_maintenanceTimer;
    bool m_dropped = false;
};
