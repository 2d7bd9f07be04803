#include "fleet/FleetAgent.h"

#include "catalogue/AgentCatalogue.h"
#include "catalogue/ModuleDB.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextNumbers.h"
#include "platform/Clock.h"

#include <QSet>
#include <QSqlRecord>
#include <QSysInfo>

namespace {

using Col = ServerRowModel::Column;

QString rowState(const ServerRowModel& rows, int row) {
    if (rows.text(row, Col::Status).isEmpty())
        return {};
    return rows.tag(row, Col::ReplyErr) == QLatin1String("1") ? QStringLiteral("down")
                                                              : QStringLiteral("up");
}

// The reply time when a reply came ("35ms"); -1 otherwise, when the column
// holds the time of a failure or nothing yet.
qint32 replyMs(const ServerRowModel& rows, int row) {
    const QString text = rows.text(row, Col::ReplyTime);
    return text.endsWith(QLatin1String("ms")) ? leadingInteger(text) : -1;
}

} // namespace

FleetAgent::FleetAgent(ServerRowModel& rows, const Clock& clock, const QString& name,
                       const QString& location, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_clock(clock)
    , m_name(nameOr(name))
    , m_location(location.trimmed())
    , m_share(m_name, m_location)
    , m_silenceMs(AgentCatalogue::SilenceMs)
    , m_startedMs(clock.monotonicMs()) {
    m_heartbeat.setInterval(AgentCatalogue::HeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, &FleetAgent::heartbeat);
}

QString FleetAgent::nameOr(const QString& given) {
    const QString name = given.trimmed();
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

void FleetAgent::setHeartbeatMs(int ms) {
    m_heartbeat.setInterval(ms);
    m_silenceMs = 3 * ms;
}

bool FleetAgent::beat() {
    const std::optional<QStringList> agents =
        AgentCatalogue::Heartbeat(m_name, m_location, m_silenceMs);
    if (!agents)
        return false;
    m_lastBeatMs = m_clock.monotonicMs();
    m_share.setLiveAgents(*agents);
    return true;
}

void FleetAgent::start() {
    beat();
    m_balancedFor = m_share.liveAgents();
    m_heartbeat.start();
}

void FleetAgent::heartbeat() {
    if (beat() && m_share.liveAgents() != m_balancedFor)
        rebalance();
}

ServerListLoader::ServerFilter FleetAgent::filter() const {
    return [this](const ServerRecord& server) { return m_share.holds(server); };
}

int FleetAgent::serverCount() const {
    return m_rows.rowCount();
}

qint64 FleetAgent::heartbeatAgeMs() const {
    return m_clock.monotonicMs() - (m_lastBeatMs < 0 ? m_startedMs : m_lastBeatMs);
}

void FleetAgent::rebalance() {
    bool read = false;
    const QList<QSqlRecord> servers = ModuleDB::DbSelect(
        QStringLiteral("select ID, Locations from ServerList where InUse = 1"), {}, &read);
    if (!read)
        return;
    QSet<qint64> shown;
    shown.reserve(m_rows.rowCount());
    for (int row = 0; row < m_rows.rowCount(); ++row)
        shown.insert(m_rows.text(row, Col::ID).toLongLong());
    QList<qint64> moved;
    for (const QSqlRecord& server : servers) {
        const qint64 id = server.value(0).toLongLong();
        if (m_share.holds(id, server.value(1).toString()) != shown.remove(id))
            moved << id;
    }
    moved += QList<qint64>(shown.cbegin(), shown.cend());
    if (!moved.isEmpty() && !ServerListLoader::ReloadServers(
                                m_rows, moved, ServerCatalogue::Selection::Enabled, filter()))
        return;
    m_balancedFor = m_share.liveAgents();
    emit shareChanged(m_balancedFor);
}

void FleetAgent::storeStates() {
    const int rowCount = m_rows.rowCount();
    AgentCatalogue::StatesJson json(rowCount);
    const qint64 now = m_clock.utcMs();
    for (int row = 0; row < rowCount; ++row)
        json.add(m_rows.text(row, Col::ID).toLongLong(), rowState(m_rows, row),
                 m_rows.text(row, Col::Status), replyMs(m_rows, row), now);
    AgentCatalogue::StoreStates(m_name, json.finished());
}
