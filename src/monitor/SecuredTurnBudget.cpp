#include "monitor/SecuredTurnBudget.h"

#include <QTimer>

SecuredTurnBudget& SecuredTurnBudget::ofThisThread() {
    thread_local SecuredTurnBudget budget;
    return budget;
}

bool SecuredTurnBudget::admit(QObject* context, std::function<void()> resume) {
    if (!m_turn.isValid()) {
        openTurn();
        return true;
    }
    if (m_turn.elapsed() < BudgetMs)
        return true;
    m_waiting.append({context, std::move(resume)});
    return false;
}

// The first step of a turn opens it and asks to be told when the loop has
// turned: a call queued now runs after the events ready in this turn.
void SecuredTurnBudget::openTurn() {
    m_turn.start();
    QTimer::singleShot(0, [this] { turned(); });
}

// The waiting steps run in a turn of their own, as many as its budget
// allows; the first of them opens it.
void SecuredTurnBudget::turned() {
    m_turn.invalidate();
    while (!m_waiting.isEmpty() && (!m_turn.isValid() || m_turn.elapsed() < BudgetMs)) {
        const auto [context, resume] = m_waiting.takeFirst();
        if (context)
            resume();
    }
}
