#pragma once

#include <QHash>
#include <QList>

#include <functional>

class ServerRowModel;

// The parents of the loaded servers (ServerRecord::parentId), found by row:
// which row a row depends on, how many rows depend on a row, directly or
// further down, and the nearest ancestor that is failing. Rows whose parent
// is not loaded depend on nothing. Built again after the rows changed.
class ServerDependencies final {
    Q_DISABLE_COPY_MOVE(ServerDependencies)
public:
    explicit ServerDependencies(const ServerRowModel& rows);

    // Whether making proposedParent the parent of the server id closes a
    // loop, given the parent of every server (0: none).
    static bool formsCycle(const QHash<qint64, qint64>& parentOf, qint64 id, qint64 proposedParent);

    // The rows changed: built again when next asked.
    void invalidate() { m_built = false; }
    // No loaded row depends on another.
    bool isEmpty();
    // Rows with a loaded parent.
    const QList<int>& dependentRows();
    // The catalogue ID of each row, by row.
    const QList<qint64>& serverIds();
    int parentRow(int row);
    int descendants(int row);
    // The nearest ancestor of the row for which failing holds; -1 when none.
    int failingAncestor(int row, const std::function<bool(int row)>& failing);

private:
    void build();

    const ServerRowModel& m_rows;
    bool m_built = false;
    QList<qint64> m_ids;
    QList<int> m_parentRow; // -1: none loaded
    QList<int> m_descendants;
    QList<int> m_dependents;
};
