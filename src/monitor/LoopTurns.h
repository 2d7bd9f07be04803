#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// Runs steps a number of turns of this thread's event loop later, without
// holding the stack in between. A turn is one round of the loop through the
// events ready at the time, as the event dispatcher reports it (awake()); a
// step scheduled inside a turn counts the rest of that turn as its first.
// Every loop that turns counts, a nested one (a modal dialog's) too, and one
// that reports no turns (run by glib itself) by a timer due at once. While
// steps wait, that timer keeps the loop from blocking, so it turns on at
// once as a loop run by processEvents() would, without waking it from
// outside. Steps still waiting go with the object.
class LoopTurns final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoopTurns)
public:
    explicit LoopTurns(QObject* parent = nullptr);

    void after(int turns, std::function<void()> step);

private:
    struct Waiting {
        int turnsLeft;
        std::function<void()> step;
    };
    void reported();
    void keptTurning();
    void turned();

    QList<Waiting> m_waiting;    // in the order they were scheduled
    QTimer m_keepTurning;        // due at once while steps wait
    bool m_turnReported = false; // since the timer last fired
};
