#include "fleet/ServerShare.h"

#include "fleet/RendezvousHash.h"

ServerShare::ServerShare(const QString& agent, const QString& location)
    : m_agent(agent)
    , m_location(location.trimmed()) {
    setLiveAgents({});
}

bool ServerShare::watchedFrom(const QString& locations, const QString& location) {
    bool any = false;
    for (const QStringView name : QStringView(locations).split(u',')) {
        const QStringView trimmed = name.trimmed();
        if (trimmed.isEmpty())
            continue;
        any = true;
        if (trimmed.compare(QStringView(location).trimmed(), Qt::CaseInsensitive) == 0)
            return true;
    }
    return !any;
}

void ServerShare::setLiveAgents(const QStringList& agents) {
    m_agents = agents;
    if (!m_agents.contains(m_agent))
        m_agents << m_agent;
    m_agents.sort();
    m_agentNames.clear();
    for (const QString& agent : std::as_const(m_agents))
        m_agentNames << agent.toUtf8();
    m_self = m_agents.indexOf(m_agent);
}

bool ServerShare::holds(const ServerRecord& server) const {
    return holds(server.id, server.locations);
}

bool ServerShare::holds(qint64 serverId, const QString& locations) const {
    if (!watchedFrom(locations, m_location))
        return false;
    const quint64 own = RendezvousHash::weight(serverId, m_agentNames.at(m_self));
    for (qsizetype i = 0; i < m_agentNames.size(); ++i) {
        if (i == m_self)
            continue;
        const quint64 other = RendezvousHash::weight(serverId, m_agentNames.at(i));
        if (other > own || (other == own && i < m_self))
            return false;
    }
    return true;
}
