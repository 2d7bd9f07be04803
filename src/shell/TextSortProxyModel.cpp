#include "shell/TextSortProxyModel.h"

TextSortProxyModel::TextSortProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(false);
}

bool TextSortProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QString a = left.data(Qt::DisplayRole).toString();
    const QString b = right.data(Qt::DisplayRole).toString();
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}
