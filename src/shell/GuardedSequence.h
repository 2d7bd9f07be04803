#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Named steps run in order, each on its own: a step that fails is skipped
// and the next one still runs. An observer hears each step's name as it
// starts.
class GuardedSequence final {
public:
    using Step = std::function<void()>;
    using Observer = std::function<void(const QString&)>;

    GuardedSequence& add(const QString& name, Step step);
    QStringList names() const;
    // Returns the names of the steps that failed.
    QStringList run(const Observer& observer = {}) const;

private:
    struct Entry {
        QString name;
        Step step;
    };
    QList<Entry> m_steps;
};
