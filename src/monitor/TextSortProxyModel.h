#pragma once

#include "monitor/CaseInsensitiveKeys.h"

#include <QSortFilterProxyModel>

#include <array>

// Orders the result list by the texts it shows, compared as text without
// regard to case ("100" sorts before "20"). Sorts only when asked, never
// while cells change.
class TextSortProxyModel final : public QSortFilterProxyModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextSortProxyModel)
public:
    explicit TextSortProxyModel(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* sourceModel) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void takeKeys(int column) const;
    void dropKeys() const;

    // The sort column's texts by source row, read and folded once per sort
    // rather than twice per comparison. A sort the proxy starts by itself
    // (the first look at a reloaded list) takes them when it first compares;
    // they go with the next change of the source or turn of the event loop.
    mutable CaseInsensitiveKeys m_keys;
    mutable int m_keysColumn = -1;
    mutable bool m_dropQueued = false;
    std::array<QMetaObject::Connection, 6> m_sourceConnections;
};
