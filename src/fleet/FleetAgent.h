#pragma once

#include "catalogue/ServerListLoader.h"
#include "fleet/ServerShare.h"

#include <QObject>
#include <QString>
#include <QTimer>

class Clock;
class ServerRowModel;

// One agent of a fleet sharing a PostgreSQL catalogue: renews its heartbeat
// in the catalogue, learns the live agents of its location, keeps the list
// to the servers it holds (loading the ones it gains and dropping the ones
// it loses when an agent comes or goes), and writes what it saw of them
// after every pass.
class FleetAgent final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FleetAgent)
public:
    // rows hold the catalogue's enabled servers this agent holds.
    FleetAgent(ServerRowModel& rows, const Clock& clock, const QString& name,
               const QString& location, QObject* parent = nullptr);

    // The name the agent goes by: the one given, else the host's name.
    static QString nameOr(const QString& given);

    QString name() const { return m_name; }
    QString location() const { return m_location; }
    // How often the heartbeat is renewed; an agent silent for three times
    // as long no longer counts. Ten seconds unless set.
    void setHeartbeatMs(int ms);

    // Renews the heartbeat and learns the live agents; false when the
    // database could not be asked (the share is then as it was).
    bool beat();
    // Beats now and then every heartbeat, rebalancing when the live agents
    // change; the caller loads the list with the filter right after.
    void start();
    // Which servers the list should hold.
    ServerListLoader::ServerFilter filter() const;
    QStringList liveAgents() const { return m_share.liveAgents(); }
    // Servers held now.
    int serverCount() const;
    // Since the heartbeat was last renewed; since the start while it never was.
    qint64 heartbeatAgeMs() const;

    // Writes the state of every held server, in one statement.
    void storeStates();

signals:
    // The live agents of the location changed and the list was brought in
    // step with the new share.
    void shareChanged(const QStringList& agents);

private:
    void heartbeat();
    // Loads the servers the agent gained and drops the ones it lost.
    void rebalance();

    ServerRowModel& m_rows;
    const Clock& m_clock;
    const QString m_name;
    const QString m_location;
    ServerShare m_share;
    QStringList m_balancedFor; // the live agents the list was last brought in step with
    QTimer m_heartbeat;
    int m_silenceMs;
    qint64 m_startedMs;
    qint64 m_lastBeatMs = -1;
};
