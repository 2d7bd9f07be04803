#include "monitor/ServerDependencies.h"

#include "monitor/ServerRowModel.h"

ServerDependencies::ServerDependencies(const ServerRowModel& rows)
    : m_rows(rows) {}

bool ServerDependencies::formsCycle(const QHash<qint64, qint64>& parentOf, qint64 id,
                                    qint64 proposedParent) {
    // Up from the proposed parent: reaching the server again is a loop. A
    // loop already there (never made here) ends the walk too.
    qint64 current = proposedParent;
    for (qsizetype steps = 0; current > 0 && steps <= parentOf.size(); ++steps) {
        if (current == id)
            return true;
        current = parentOf.value(current, 0);
    }
    return false;
}

void ServerDependencies::build() {
    m_built = true;
    const int count = m_rows.rowCount();
    m_ids.resize(count);
    m_parentRow.fill(-1, count);
    m_descendants.fill(0, count);
    m_dependents.clear();
    QHash<qint64, int> rowOfId;
    rowOfId.reserve(count);
    for (int row = 0; row < count; ++row) {
        m_ids[row] = m_rows.text(row, ServerRowModel::ID).toLongLong();
        rowOfId.insert(m_ids.at(row), row);
    }
    for (int row = 0; row < count; ++row) {
        const qint64 parent = m_rows.parentId(row);
        if (parent <= 0 || parent == m_ids.at(row))
            continue;
        const int parentRow = rowOfId.value(parent, -1);
        if (parentRow < 0)
            continue;
        m_parentRow[row] = parentRow;
        m_dependents.append(row);
    }
    // Each row counts once for every ancestor; a loop in the catalogue
    // stops the walk after as many steps as there are rows.
    for (const int row : std::as_const(m_dependents)) {
        int ancestor = m_parentRow.at(row);
        for (int steps = 0; ancestor >= 0 && ancestor != row && steps < count; ++steps) {
            ++m_descendants[ancestor];
            ancestor = m_parentRow.at(ancestor);
        }
    }
}

bool ServerDependencies::isEmpty() {
    return dependentRows().isEmpty();
}

const QList<int>& ServerDependencies::dependentRows() {
    if (!m_built)
        build();
    return m_dependents;
}

const QList<qint64>& ServerDependencies::serverIds() {
    if (!m_built)
        build();
    return m_ids;
}

int ServerDependencies::parentRow(int row) {
    if (!m_built)
        build();
    return row >= 0 && row < m_parentRow.size() ? m_parentRow.at(row) : -1;
}

int ServerDependencies::descendants(int row) {
    if (!m_built)
        build();
    return row >= 0 && row < m_descendants.size() ? m_descendants.at(row) : 0;
}

int ServerDependencies::failingAncestor(int row, const std::function<bool(int)>& failing) {
    int ancestor = parentRow(row);
    for (int steps = 0; ancestor >= 0 && ancestor != row && steps < m_parentRow.size(); ++steps) {
        if (failing(ancestor))
            return ancestor;
        ancestor = m_parentRow.at(ancestor);
    }
    return -1;
}
