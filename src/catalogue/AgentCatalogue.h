#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What one agent last saw of one server.
struct AgentServerState {
    QString agent;
    QString location;
    QString state;
    QString status;
    qint32 replyMs = -1; // -1: no reply came
    qint64 timeUtcMs = 0;
};

// The agents of a shared catalogue: each renews its heartbeat in Agents and
// writes what it saw of its servers to AgentState. Times are the database's,
// since the agents' clocks differ. Only a PostgreSQL catalogue has agents.
namespace AgentCatalogue {

constexpr int HeartbeatMs = 10000;
// An agent whose heartbeat is older is no longer counted.
constexpr int SilenceMs = 3 * HeartbeatMs;

// Registers the agent or renews its heartbeat, and names the live agents of
// its location (itself included), in one round trip; nothing when the
// database could not be asked.
std::optional<QStringList> Heartbeat(const QString& agent, const QString& location,
                                     int silenceMs = SilenceMs);

// The agent's servers as a JSON array for StoreStates: one object per
// server with its ID (s), state (t), status text (u), reply time (r) and
// time (m).
class StatesJson {
public:
    explicit StatesJson(qsizetype servers);
    void add(qint64 serverId, const QString& state, const QString& status, qint32 replyMs,
             qint64 timeUtcMs);
    QByteArray finished();

private:
    QByteArray m_json;
};

// Stores what the agent saw of each server in one statement, and forgets
// the servers it no longer holds; handed to the database's worker without
// waiting. False when it could not be handed over (offline).
bool StoreStates(const QString& agent, const QByteArray& json);

// What each live agent last saw of the server, by location and name.
QList<AgentServerState> SelectStates(qint64 serverId, bool* ok = nullptr,
                                     int silenceMs = SilenceMs);

} // namespace AgentCatalogue
