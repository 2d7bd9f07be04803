#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Highest-random-weight hashing: every agent weighs every server the same
// way on every machine, and the heaviest agent holds the server. When an
// agent leaves, only its servers move, spread over the others; when it
// returns, it takes the same ones back.
namespace RendezvousHash {

// The weight of the server for the agent (its name in UTF-8); the same on
// every machine and in every version.
quint64 weight(qint64 serverId, QByteArrayView agent);

// The agent among agents that holds the server; empty when there is none.
// Ties (practically never) go to the name that sorts first.
QString holder(qint64 serverId, const QStringList& agents);

} // namespace RendezvousHash
