#include "monitor/TextSortProxyModel.h"

TextSortProxyModel::TextSortProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(false);
}

void TextSortProxyModel::sort(int column, Qt::SortOrder order) {
    const QAbstractItemModel* source = sourceModel();
    if (source && column >= 0 && column < source->columnCount()) {
        const int rows = source->rowCount();
        m_sortTexts.reserve(rows);
        for (int row = 0; row < rows; ++row)
            m_sortTexts.append(source->index(row, column).data(Qt::DisplayRole).toString());
    }
    QSortFilterProxyModel::sort(column, order);
    m_sortTexts.clear();
}

bool TextSortProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.row() < m_sortTexts.size() && right.row() < m_sortTexts.size())
        return QString::compare(m_sortTexts.at(left.row()), m_sortTexts.at(right.row()),
                                Qt::CaseInsensitive) < 0;
    return QString::compare(left.data(Qt::DisplayRole).toString(),
                            right.data(Qt::DisplayRole).toString(), Qt::CaseInsensitive) < 0;
}
