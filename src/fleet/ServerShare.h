#pragma once

#include "monitor/ServerRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Which servers one agent probes: those its location watches (a server
// without locations is watched from everywhere; an agent without a location
// watches only those), and of them the ones the rendezvous hash gives it
// among the live agents of its location.
class ServerShare final {
public:
    ServerShare(const QString& agent, const QString& location);

    // Location names are compared without regard to case, spaces trimmed.
    static bool watchedFrom(const QString& locations, const QString& location);

    // The live agents of the location; the agent itself always counts.
    void setLiveAgents(const QStringList& agents);
    QStringList liveAgents() const { return m_agents; }

    bool holds(const ServerRecord& server) const;
    bool holds(qint64 serverId, const QString& locations) const;

private:
    QString m_agent;
    QString m_location;
    QStringList m_agents;
    QList<QByteArray> m_agentNames; // m_agents in UTF-8
    qsizetype m_self = 0;           // where the agent is among them
};
