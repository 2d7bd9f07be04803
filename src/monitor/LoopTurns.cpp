#include "monitor/LoopTurns.h"

#include <QAbstractEventDispatcher>
#include <QPointer>
#include <QThread>

#include <utility>

LoopTurns::LoopTurns(QObject* parent)
    : QObject(parent) {
    m_keepTurning.setInterval(0);
    connect(&m_keepTurning, &QTimer::timeout, this, &LoopTurns::keptTurning);
    connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::awake, this,
            &LoopTurns::reported);
}

void LoopTurns::after(int turns, std::function<void()> step) {
    m_waiting.append({qMax(1, turns), std::move(step)});
    if (m_keepTurning.isActive())
        return;
    m_turnReported = true;
    m_keepTurning.start();
}

void LoopTurns::reported() {
    m_turnReported = true;
    turned();
}

// A loop that reports no turns (one glib runs by itself, as a native file
// dialog's) still fires the timer once a turn: a firing with no report since
// the last one is a turn too.
void LoopTurns::keptTurning() {
    if (!std::exchange(m_turnReported, false))
        turned();
}

// The steps due now leave the list before any of them runs: a step may
// schedule more, or run a loop of its own whose turns count for the rest.
void LoopTurns::turned() {
    if (m_waiting.isEmpty())
        return;
    QList<std::function<void()>> due;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (--it->turnsLeft > 0) {
            ++it;
            continue;
        }
        due.append(std::move(it->step));
        it = m_waiting.erase(it);
    }
    const QPointer<LoopTurns> self(this);
    for (const std::function<void()>& step : std::as_const(due)) {
        step();
        if (!self)
            return;
    }
    if (m_waiting.isEmpty())
        m_keepTurning.stop();
}
