#include "fleet/RendezvousHash.h"

namespace {

// SplitMix64's finaliser: spreads every input bit over the whole word.
quint64 mixed(quint64 value) {
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

// FNV-1a over the name's bytes.
quint64 nameHash(QByteArrayView name) {
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

} // namespace

namespace RendezvousHash {

quint64 weight(qint64 serverId, QByteArrayView agent) {
    return mixed(nameHash(agent) ^ mixed(static_cast<quint64>(serverId)));
}

} // namespace RendezvousHash
