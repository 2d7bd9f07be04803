#pragma once

#include <QList>
#include <QSortFilterProxyModel>
#include <QString>

// Orders the result list by the texts it shows, compared as text without
// regard to case ("100" sorts before "20"). Sorts only when asked, never
// while cells change.
class TextSortProxyModel final : public QSortFilterProxyModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextSortProxyModel)
public:
    explicit TextSortProxyModel(QObject* parent = nullptr);

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    // The sort column's texts by source row, read once per sort rather than
    // twice per comparison.
    QList<QString> m_sortTexts;
};
