#pragma once

#include <Qt>

// The result list's own sort state: the column whose texts order the rows,
// the direction, and whether the rows are kept ordered at all.
class ListSortState final {
public:
    int sortColumn() const { return m_sortColumn; } // 0-based
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    bool sorted() const { return m_sorted; }

    // A click on the header of column k (1-based): the sort column flips its
    // direction, any other column becomes the sort column, ascending.
    void ColumnClick(int k);

private:
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sorted = false;
};
