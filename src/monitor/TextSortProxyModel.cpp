#include "monitor/TextSortProxyModel.h"

#include <QAbstractTableModel>
#include <QTimer>

TextSortProxyModel::TextSortProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(false);
}

void TextSortProxyModel::setSourceModel(QAbstractItemModel* sourceModel) {
    for (const QMetaObject::Connection& connection : std::as_const(m_sourceConnections))
        disconnect(connection);
    dropKeys();
    // Any change of the source makes the keys taken from it stale. These run
    // before the proxy's own handlers, which may sort anew.
    if (sourceModel) {
        const auto drop = [this] { dropKeys(); };
        m_sourceConnections = {
            connect(sourceModel, &QAbstractItemModel::dataChanged, this, drop),
            connect(sourceModel, &QAbstractItemModel::modelAboutToBeReset, this, drop),
            connect(sourceModel, &QAbstractItemModel::layoutAboutToBeChanged, this, drop),
            connect(sourceModel, &QAbstractItemModel::rowsAboutToBeInserted, this, drop),
            connect(sourceModel, &QAbstractItemModel::rowsAboutToBeRemoved, this, drop),
            connect(sourceModel, &QAbstractItemModel::rowsAboutToBeMoved, this, drop)};
    }
    QSortFilterProxyModel::setSourceModel(sourceModel);
}

void TextSortProxyModel::sort(int column, Qt::SortOrder order) {
    takeKeys(column);
    QSortFilterProxyModel::sort(column, order);
    dropKeys();
}

void TextSortProxyModel::takeKeys(int column) const {
    // Keys are numbered by row: only a table's rows are all numbered alike.
    const auto* source = qobject_cast<const QAbstractTableModel*>(sourceModel());
    m_keys.clear();
    m_keysColumn = -1;
    if (!source || column < 0 || column >= source->columnCount())
        return;
    const int rows = source->rowCount();
    for (int row = 0; row < rows; ++row)
        m_keys.append(source->index(row, column).data(Qt::DisplayRole).toString());
    m_keysColumn = column;
}

void TextSortProxyModel::dropKeys() const {
    if (m_keysColumn < 0)
        return;
    m_keys.clear();
    m_keysColumn = -1;
}

bool TextSortProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (m_keysColumn != left.column() && left.column() == right.column()) {
        takeKeys(left.column());
        if (m_keysColumn >= 0 && !m_dropQueued) {
            m_dropQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_dropQueued = false;
                dropKeys();
            });
        }
    }
    if (m_keysColumn == left.column() && m_keysColumn == right.column() &&
        left.row() < m_keys.size() && right.row() < m_keys.size())
        return m_keys.less(left.row(), right.row());
    return QString::compare(left.data(Qt::DisplayRole).toString(),
                            right.data(Qt::DisplayRole).toString(), Qt::CaseInsensitive) < 0;
}
