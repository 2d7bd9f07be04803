#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>

// How long the secured sockets of one thread may hold a turn of its event
// loop with TLS handshakes. Once a turn has run for BudgetMs since its
// first handshake step, a socket that becomes ready waits in line, and the
// line's steps run in the following turns, each turn as many as its budget
// allows. A burst of connections that all need their handshake's costly
// step at once never holds the loop for long; only the order of the steps
// changes.
class SecuredTurnBudget final {
    Q_DISABLE_COPY_MOVE(SecuredTurnBudget)
public:
    static constexpr qint64 BudgetMs = 4;

    // The budget of the calling thread, whose event loop must turn.
    static SecuredTurnBudget& ofThisThread();

    // Whether a handshake step may run now. If not, resume is called in a
    // later turn, in the order of the refusals, unless context is gone by
    // then; resume is expected to ask again, and is admitted.
    bool admit(QObject* context, std::function<void()> resume);

private:
    SecuredTurnBudget() = default;
    void openTurn();
    void turned();

    QElapsedTimer m_turn; // since the first step of this turn; invalid between turns
    QList<std::pair<QPointer<QObject>, std::function<void()>>> m_waiting;
};
