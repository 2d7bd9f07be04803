#include "shell/GuardedSequence.h"

GuardedSequence& GuardedSequence::add(const QString& name, Step step) {
    m_steps.append({name, std::move(step)});
    return *this;
}

QStringList GuardedSequence::names() const {
    QStringList result;
    for (const Entry& entry : m_steps)
        result.append(entry.name);
    return result;
}

QStringList GuardedSequence::run(const Observer& observer) const {
    QStringList failed;
    for (const Entry& entry : m_steps) {
        if (observer)
            observer(entry.name);
        try {
            entry.step();
        } catch (...) {
            failed.append(entry.name);
        }
    }
    return failed;
}
