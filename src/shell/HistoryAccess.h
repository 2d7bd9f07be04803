#pragma once

#include "monitor/ServerRecord.h"

#include <QtGlobal>

#include <memory>

class Clock;
class FormHistory;
class HistoryRecorder;
class QMainWindow;
class QWidget;
class ServerMonitor;
struct MonitorSettings;

// The result history behind the main window: the recorder, started once,
// and the history window of a server. The history file lives beside the
// catalogue.
class HistoryAccess final {
    Q_DISABLE_COPY_MOVE(HistoryAccess)
public:
    HistoryAccess(const MonitorSettings& settings, const Clock& clock);

    // Opens the history whatever the setting: the recorder keeps results
    // only while HISTORY is on. Its warnings show in the window's status bar.
    void start(ServerMonitor& monitor, QMainWindow& window);
    HistoryRecorder* recorder() const { return m_recorder; }
    // The server's history window, the latest results included.
    std::unique_ptr<FormHistory> window(const ServerRecord& server, QWidget* parent) const;
    // Drops a deleted server's history.
    void forgetServer(qint64 serverId) const;

private:
    const MonitorSettings& m_settings;
    const Clock& m_clock;
    HistoryRecorder* m_recorder = nullptr;
};
