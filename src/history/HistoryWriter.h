#pragma once

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
    void write(const QList<ProbeOutcome>& outcomes);
    // Begins a maintenance run unless one is under way; its pieces take
    // turns with the writing.
    void maintain(qint64 nowUtcMs, int rawDays, int keepDays);
    void deleteServer(qint64 serverId);
    void close();

signals:
    // The file was set aside and replaced; history goes on.
    void notice(const QString& message);
    // The file cannot be written; nothing more is written.
    void failed(const QString& message);

private:
    void maintenanceStep();
    void fail(const QString& reason);

    std::unique_ptr<HistoryStore> m_store;
    bool m_failed = false;
    bool m_maintained = false;
    bool m_maintaining = false;
    QSet<qint64> m_written; // servers with results since the last maintenance began
};
