#include "shell/HistoryAccess.h"

#include "history/HistoryRecorder.h"
#include "history/ui/FormHistory.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "platform/AppPaths.h"

#include <QMainWindow>
#include <QStatusBar>

namespace {
QString historyPath() {
    return AppPaths::current().historyFile();
}
} // namespace

HistoryAccess::HistoryAccess(const MonitorSettings& settings, const Clock& clock)
    : m_settings(settings)
    , m_clock(clock) {}

void HistoryAccess::start(ServerMonitor& monitor, QMainWindow& window) {
    if (m_recorder)
        return;
    m_recorder = new HistoryRecorder(historyPath(), m_settings, m_clock, &window);
    QObject::connect(
        m_recorder, &HistoryRecorder::warning, &window,
        [&window](const QString& message) { window.statusBar()->showMessage(message); });
    monitor.addRecorder(m_recorder);
}

std::unique_ptr<FormHistory> HistoryAccess::window(const ServerRecord& server,
                                                   QWidget* parent) const {
    if (m_recorder)
        m_recorder->flush();
    return std::make_unique<FormHistory>(historyPath(), server.id, server.displayName,
                                         m_settings.History != 0, m_clock, parent);
}

void HistoryAccess::forgetServer(qint64 serverId) const {
    if (m_recorder)
        m_recorder->forgetServer(serverId);
}
