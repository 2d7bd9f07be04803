#pragma once

#include <QByteArrayView>

// Highest-random-weight hashing: every agent weighs every server the same
// way on every machine, and the heaviest agent holds the server (ServerShare
// breaks ties, practically never needed, by name). When an agent leaves,
// only its servers move, spread over the others; when it returns, it takes
// the same ones back.
namespace RendezvousHash {

// The weight of the server for the agent (its name in UTF-8); the same on
// every machine and in every version.
quint64 weight(qint64 serverId, QByteArrayView agent);

} // namespace RendezvousHash
