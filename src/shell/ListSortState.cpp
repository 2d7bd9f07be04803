#include "shell/ListSortState.h"

void ListSortState::ColumnClick(int k) {
    if (k == m_sortColumn + 1) {
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        m_sorted = true;
        return;
    }
    m_sorted = false;
    m_sortOrder = Qt::AscendingOrder;
    m_sortColumn = k - 1;
    m_sorted = true;
}
