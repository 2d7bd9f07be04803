#pragma once

#include "catalogue/CatalogueCertNoticeStore.h"
#include "catalogue/ServerListLoader.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "service/ServiceAlerts.h"
#include "service/ServiceLog.h"
#include "service/StateLog.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class Clock;
class DesktopNotifications;
class FleetAgent;
class EchoService;
class HistoryRecorder;
class MetricsService;
class NotificationChannels;
class QIODevice;

// The monitoring cycle without a window: the catalogue's enabled servers,
// the settings and the history of the window program, monitoring from the
// start, state changes and alerts written to the log. The paths in force
// (AppPaths) choose the files. A catalogue that cannot be opened or read
// (another copy importing into it in rollback-journal mode, a file not yet
// there) is tried again after 1 s, then after twice as long each time up
// to a minute, each try logged, until its servers are loaded.
class HeadlessService final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessService)
public:
    // notifications may be null; log receives the service's lines.
    HeadlessService(Clock& clock, EchoService& echo, QIODevice& log,
                    DesktopNotifications* notifications, QObject* parent = nullptr);
    ~HeadlessService() override;

    // Reads the settings, opens the catalogue and the history, loads the
    // enabled servers (or begins trying again), serves the metrics the
    // option or the settings ask for and starts monitoring; the first pass
    // begins as soon as the event loop runs. False with error set when the
    // metrics cannot be served.
    bool start(const QString& metricsOption, QString& error);
    // The agent name and location given on the command line, overriding the
    // settings' AGENT and LOCATION; set before start. They matter only with
    // a shared catalogue, where this copy is one agent of a fleet.
    void setAgentOptions(const QString& agent, const std::optional<QString>& location);
    // How often an agent renews its heartbeat; the default unless set.
    void setHeartbeatMs(int ms) { m_heartbeatMs = ms; }
    // Stops monitoring; the pass under way ends after its current row.
    void stop();
    // Closes the history and the catalogue and completes the settings file
    // with the entries it lacks, so the operator finds every setting there.
    // Nothing of a window is written.
    void close();

    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 60000;

private:
    void writeMissingSettings() const;
    // Opens the catalogue unless it is open and loads its enabled servers;
    // false when either fails, the list then as it was.
    bool loadCatalogue();
    void retryCatalogue();
    void scheduleCatalogueRetry();
    // Another copy changed servers of a shared catalogue (none listed: all).
    void reloadServers(const QList<qint64>& ids);
    void logCatalogueState();
    void startChannels();
    // With a shared catalogue: joins the fleet before the first load.
    void startFleet();
    ServerListLoader::ServerFilter serverFilter() const;

    Clock& m_clock;
    ServiceLog m_log;
    MonitorSettings m_settings;
    ServerRowModel m_rows;
    ServiceAlerts m_alerts;
    CatalogueCertNoticeStore m_certNoticeStore;
    ServerMonitor m_monitor;
    StateLog m_stateLog;
    HistoryRecorder* m_history = nullptr;
    std::unique_ptr<MetricsService> m_metrics;
    std::unique_ptr<NotificationChannels> m_channels;
    std::unique_ptr<FleetAgent> m_fleet;
    QString m_agentOption;
    std::optional<QString> m_locationOption;
    int m_heartbeatMs = 0;
    QTimer m_catalogueRetry;
    int m_retryDelayMs = FirstRetryMs;
    bool m_closed = false;
};
