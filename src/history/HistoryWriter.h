#pragma once

#include "history/HistoryThinning.h"
#include "monitor/ResultRecorder.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class HistoryStore;

// The history file's writer. It lives on a worker thread and owns the
// store and its connection there; the UI thread reaches it only through
// queued calls and hears back through queued signals.
class HistoryWriter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryWriter)
public:
    explicit HistoryWriter(QObject* parent = nullptr);
    ~HistoryWriter() override;

    // Opens the file and begins the first maintenance.
    void open(const QString& path, qint64 nowUtcMs, int rawDays, int keepDays);
    // Stores the results, raw only those that rawEvery keeps
    // (HistoryThinning); the aggregates get the rest once their bucket is
    // over.
    void write(const QList<ProbeOutcome>& outcomes, int rawEvery);
    // Adds what is held for buckets over by now to the aggregates, then
    // begins a maintenance run unless one is under way; its pieces take
    // turns with the writing.
    void maintain(qint64 nowUtcMs, int rawDays, int keepDays);
    void deleteServer(qint64 serverId);
    // Adds everything still held to the aggregates and closes the file.
    void close();

signals:
    // The file was set aside and replaced; history goes on.
    void notice(const QString& message);
    // The file cannot be written; nothing more is written.
    void failed(const QString& message);

private:
    void maintenanceStep();
    // Stores what the thinning handed out; false when the file failed.
    bool store(const HistoryThinning::Batch& batch);
    // Stores held figures only.
    bool store(const HistoryFigures::ServerBuckets& folded);
    void fail(const QString& reason);

    std::unique_ptr<HistoryStore> m_store;
    HistoryThinning m_thinning;
    bool m_failed = false;
    bool m_maintained = false;
    bool m_maintaining = false;
    QSet<qint64> m_written; // servers with results since the last maintenance began
};
