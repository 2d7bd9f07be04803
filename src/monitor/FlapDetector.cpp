#include "monitor/FlapDetector.h"

#include <bit>

FlapDetector::Change FlapDetector::passed(quint64 key, quint8 state, int limit) {
    constexpr quint32 window = (quint32(1) << Passes) - 1;
    const auto found = m_servers.find(key);
    if (found == m_servers.end()) {
        m_servers.insert(key, History{0, state, 1, false});
        return Change::None;
    }
    History& history = *found;
    const bool changed = history.state != state;
    history.changes = ((history.changes << 1) | (changed ? 1 : 0)) & window;
    history.state = state;
    history.steady = changed ? 1 : history.steady + 1;
    if (!history.flapping && limit > 0 && std::popcount(history.changes) >= limit) {
        history.flapping = true;
        return Change::Began;
    }
    if (history.flapping && history.steady >= Passes) {
        history.flapping = false;
        history.changes = 0;
        return Change::Ended;
    }
    return Change::None;
}

bool FlapDetector::isFlapping(quint64 key) const {
    const auto found = m_servers.constFind(key);
    return found != m_servers.cend() && found->flapping;
}
