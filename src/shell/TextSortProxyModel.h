#pragma once

#include <QSortFilterProxyModel>

// Orders the result list by the texts it shows, compared as text ("100"
// sorts before "20"). Sorts only when asked, never while cells change.
class TextSortProxyModel final : public QSortFilterProxyModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextSortProxyModel)
public:
    explicit TextSortProxyModel(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};
