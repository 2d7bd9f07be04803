#pragma once

#include <QHash>

// Servers whose state keeps changing: one whose state changed at least the
// limit's times within its last Passes passes flaps until it has stayed in
// one state for Passes passes. A state is any small number the caller
// gives once per pass.
class FlapDetector final {
    Q_DISABLE_COPY_MOVE(FlapDetector)
public:
    static constexpr int Passes = 20;
    enum class Change { None, Began, Ended };

    FlapDetector() = default;

    Change passed(quint64 key, quint8 state, int limit);
    bool isFlapping(quint64 key) const;
    void clear() { m_servers.clear(); }

private:
    struct History {
        quint32 changes = 0; // bit i: the state changed i passes ago
        quint8 state = 0;
        int steady = 0; // passes in the current state
        bool flapping = false;
    };
    QHash<quint64, History> m_servers;
};
