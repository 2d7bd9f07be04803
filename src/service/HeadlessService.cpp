#include "service/HeadlessService.h"

#include "catalogue/CatalogueEvents.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerListLoader.h"
#include "config/IniFile.h"
#include "config/ModuleINI.h"
#include "config/SettingsStore.h"
#include "fleet/FleetAgent.h"
#include "history/HistoryRecorder.h"
#include "monitor/ModulePing.h"
#include "monitor/SocketElement.h"
#include "notify/NotificationChannels.h"
#include "platform/AppPaths.h"
#include "service/CatalogueChoice.h"
#include "service/CommandLine.h"
#include "service/MetricsService.h"

#include <QTimer>

HeadlessService::HeadlessService(Clock& clock, EchoService& echo, QIODevice& log,
                                 DesktopNotifications* notifications, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_log(log, clock)
    , m_alerts(m_log, notifications)
    , m_monitor(m_rows, m_rows, m_settings, clock, echo, m_alerts)
    , m_stateLog(m_rows, m_log) {
    m_monitor.setCertNoticeStore(&m_certNoticeStore);
    // The maintenance windows are read with every list.
    connect(&m_rows, &QAbstractItemModel::modelReset, this,
            [this] { m_monitor.setMaintenanceWindows(MaintenanceCatalogue::SelectWindows()); });
    m_catalogueRetry.setSingleShot(true);
    connect(&m_catalogueRetry, &QTimer::timeout, this, &HeadlessService::retryCatalogue);
    connect(ModuleDB::events(), &CatalogueEvents::serversChanged, this,
            &HeadlessService::reloadServers);
    connect(ModuleDB::events(), &CatalogueEvents::stateChanged, this,
            &HeadlessService::logCatalogueState);
}

HeadlessService::~HeadlessService() {
    close();
}

bool HeadlessService::start(const QString& metricsOption, QString& error) {
    SocketStateNames();
    CatalogueChoice::useConfigured();
    SettingsStore::loadINI(m_settings);
    startFleet();
    const bool loaded = loadCatalogue();
    m_history = new HistoryRecorder(AppPaths::current().historyFile(), m_settings, m_clock, this);
    connect(m_history, &HistoryRecorder::warning, this, [this](const QString& message) {
        m_log.write({QStringLiteral("history"), message});
    });
    m_monitor.addRecorder(m_history);
    m_monitor.addRecorder(&m_stateLog);
    ModulePing::SocketsStartup();
    startChannels();
    m_metrics = MetricsService::start(metricsOption, m_rows, m_monitor, m_clock, error);
    if (!error.isEmpty())
        return false;
    if (m_metrics) {
        m_metrics->setChannels(&m_channels->dispatcher());
        m_metrics->setFleet(m_fleet.get());
    }

    QStringList started = {QStringLiteral("start"), CommandLine::versionText(), ModuleDB::DbName(),
                           ModuleDB::DbStateText(), QString::number(m_rows.rowCount())};
    if (m_metrics)
        started.append(QStringLiteral("metrics:") + QString::number(m_metrics->port()));
    m_log.write(started);
    if (!loaded)
        scheduleCatalogueRetry();
    m_monitor.CmdStart_Click();
    QTimer::singleShot(0, &m_monitor, &ServerMonitor::TimerProc_Timer);
    return true;
}

void HeadlessService::stop() {
    if (m_monitor.isMonitoring())
        m_monitor.CmdStart_Click();
}

void HeadlessService::close() {
    if (m_closed)
        return;
    m_closed = true;
    m_catalogueRetry.stop();
    stop();
    m_metrics.reset();
    m_channels.reset();
    m_fleet.reset();
    m_monitor.setRecorder(nullptr);
    delete m_history; // writes what it buffered and ends its thread
    m_history = nullptr;
    writeMissingSettings();
    ModuleDB::DbClose();
    ModulePing::SocketsCleanup();
    m_log.write({QStringLiteral("stop")});
}

bool HeadlessService::loadCatalogue() {
    if (!ModuleDB::DbConnected() && !ModuleDB::DbOpen())
        return false;
    return ServerListLoader::LoadServerList(m_rows, ServerCatalogue::Selection::Enabled,
                                            serverFilter());
}

void HeadlessService::setAgentOptions(const QString& agent,
                                      const std::optional<QString>& location) {
    m_agentOption = agent;
    m_locationOption = location;
}

void HeadlessService::startFleet() {
    if (!ModuleDB::DbShared())
        return;
    if (!ModuleDB::DbConnected())
        ModuleDB::DbOpen();
    m_fleet = std::make_unique<FleetAgent>(
        m_rows, m_clock, m_agentOption.isEmpty() ? m_settings.Agent : m_agentOption,
        m_locationOption.value_or(m_settings.Location));
    if (m_heartbeatMs > 0)
        m_fleet->setHeartbeatMs(m_heartbeatMs);
    connect(m_fleet.get(), &FleetAgent::shareChanged, this, [this](const QStringList& agents) {
        m_log.write({QStringLiteral("agents"), m_fleet->name(), m_fleet->location(),
                     agents.join(QLatin1Char(',')), QString::number(m_rows.rowCount())});
    });
    connect(&m_monitor, &ServerMonitor::passFinished, m_fleet.get(), &FleetAgent::storeStates);
    m_fleet->start();
    m_log.write({QStringLiteral("agents"), m_fleet->name(), m_fleet->location(),
                 m_fleet->liveAgents().join(QLatin1Char(','))});
}

ServerListLoader::ServerFilter HeadlessService::serverFilter() const {
    return m_fleet ? m_fleet->filter() : ServerListLoader::ServerFilter();
}

// Logs why the catalogue could not be loaded and when it is tried again. A
// shared catalogue reconnects by itself and then reloads everything.
void HeadlessService::scheduleCatalogueRetry() {
    QString why = ModuleDB::DbOpenError();
    if (why.isEmpty() && ModuleDB::DbShared()) {
        logCatalogueState();
        return;
    }
    if (why.isEmpty())
        why = ModuleDB::DbConnected() ? tr("无法读取服务器列表") : ModuleDB::DbStateText();
    m_log.write({QStringLiteral("catalogue"), ModuleDB::DbName(), why,
                 tr("%1 秒后重试").arg(m_retryDelayMs / 1000)});
    m_catalogueRetry.start(m_retryDelayMs);
    m_retryDelayMs = qMin(m_retryDelayMs * 2, LastRetryMs);
}

// Loaded at last: the same fields as the start line's catalogue part.
void HeadlessService::retryCatalogue() {
    if (!loadCatalogue()) {
        scheduleCatalogueRetry();
        return;
    }
    m_log.write({QStringLiteral("catalogue"), ModuleDB::DbName(), ModuleDB::DbStateText(),
                 QString::number(m_rows.rowCount())});
    m_channels->reload();
}

void HeadlessService::reloadServers(const QList<qint64>& ids) {
    if (!ids.isEmpty()) {
        ServerListLoader::ReloadServers(m_rows, ids, ServerCatalogue::Selection::Enabled,
                                        serverFilter());
        return;
    }
    if (!loadCatalogue())
        return;
    m_log.write({QStringLiteral("catalogue"), ModuleDB::DbName(), ModuleDB::DbStateText(),
                 QString::number(m_rows.rowCount())});
    m_channels->reload();
}

// Offline and back: the same fields as the start line's catalogue part, and
// why the database cannot be reached.
void HeadlessService::logCatalogueState() {
    QStringList line = {QStringLiteral("catalogue"), ModuleDB::DbName(), ModuleDB::DbStateText(),
                        QString::number(m_rows.rowCount())};
    if (const QString why = ModuleDB::DbOfflineReason(); !why.isEmpty())
        line << why;
    m_log.write(line);
}

// A channel that gives up a message, and its return, are logged; the
// reason never holds the channel's secret.
void HeadlessService::startChannels() {
    m_channels = std::make_unique<NotificationChannels>(m_monitor, m_clock);
    connect(&m_channels->dispatcher(), &ChannelDispatcher::channelFailed, this,
            [this](const QString& name, const QString& reason) {
                m_log.write({QStringLiteral("channel-failed"), name, reason});
            });
    connect(&m_channels->dispatcher(), &ChannelDispatcher::channelRecovered, this,
            [this](const QString& name) {
                m_log.write({QStringLiteral("channel-ok"), name});
            });
}

void HeadlessService::writeMissingSettings() const {
    IniFile file = ModuleINI::SettingsFile();
    const QString setting = QStringLiteral("SETTING");
    const QString setup = QStringLiteral("SETUP");
    const QList<IniFile::Entry> all = {
        {setting, QStringLiteral("ITIMERN"), ModuleINI::numberText(qRound(m_settings.iTimerN))},
        {setting, QStringLiteral("IREPLYLIM"), ModuleINI::numberText(m_settings.iReplyLim)},
        {setting, QStringLiteral("IPINGLIM"), ModuleINI::numberText(m_settings.iPingLim)},
        {setup, QStringLiteral("PLAYSND"), ModuleINI::numberText(m_settings.bPlaySnd)},
        {setup, QStringLiteral("ITIMEOUT"), ModuleINI::numberText(m_settings.iTimeOut)},
        {setup, QStringLiteral("HISTORY"), ModuleINI::numberText(m_settings.History)},
        {setup, QStringLiteral("HISTRAWDAYS"), ModuleINI::numberText(m_settings.HistRawDays)},
        {setup, QStringLiteral("HISTDAYS"), ModuleINI::numberText(m_settings.HistDays)},
    };
    QList<IniFile::Entry> missing;
    for (const IniFile::Entry& entry : all) {
        if (!file.value(entry.section, entry.key))
            missing.append(entry);
    }
    if (!missing.isEmpty())
        file.setValues(missing);
}
