#include "shell/ResultListInteraction.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSortFilterProxyModel>
#include <QTreeView>

ResultListInteraction::ResultListInteraction(QAbstractItemView* list, QSortFilterProxyModel* proxy,
                                             QObject* parent)
    : QObject(parent)
    , m_list(list)
    , m_proxy(proxy)
    , m_viewport(list->viewport()) {
    list->viewport()->installEventFilter(this);
    if (auto* tree = qobject_cast<QTreeView*>(m_list)) {
        tree->setSortingEnabled(false);
        tree->header()->setSectionsClickable(true);
        connect(tree->header(), &QHeaderView::sectionClicked, this,
                [this](int logicalIndex) { LstResult_ColumnClick(logicalIndex + 1); });
    }
}

void ResultListInteraction::LstResult_ColumnClick(int columnIndex) {
    m_sortState.ColumnClick(columnIndex);
    if (m_sortState.sorted())
        m_proxy->sort(m_sortState.sortColumn(), m_sortState.sortOrder());
    if (auto* tree = qobject_cast<QTreeView*>(m_list)) {
        tree->header()->setSortIndicatorShown(true);
        tree->header()->setSortIndicator(m_sortState.sortColumn(), m_sortState.sortOrder());
    }
    emit sorted();
}

bool ResultListInteraction::LstResult_MouseUp(Qt::MouseButton button, const QPoint& position) {
    if (button != Qt::RightButton)
        return false;
    const QModelIndex hit = m_list->indexAt(position);
    if (!hit.isValid())
        return false;
    QItemSelectionModel* selection = m_list->selectionModel();
    if (!selection->isRowSelected(hit.row(), hit.parent())) {
        selection->setCurrentIndex(hit,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    emit contextMenuRequested(m_list->viewport()->mapToGlobal(position));
    return true;
}

bool ResultListInteraction::eventFilter(QObject* watched, QEvent* event) {
    // Compared by address only: the viewport still sends events while the
    // list around it is being destroyed.
    if (watched != m_viewport)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The right button selects on release, by the rules above, not on press.
        return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        LstResult_MouseUp(mouse->button(), mouse->position().toPoint());
        return true;
    }
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}
