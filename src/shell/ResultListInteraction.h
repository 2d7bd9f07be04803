#pragma once

#include "shell/ListSortState.h"

#include <QObject>
#include <QPoint>

class QAbstractItemView;
class QSortFilterProxyModel;

// The two mouse interactions of the result list: a header click sorts by
// that column (again: the other way round), and releasing the right button
// over a row selects it when needed and asks for the server menu.
class ResultListInteraction final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultListInteraction)
public:
    ResultListInteraction(QAbstractItemView* list, QSortFilterProxyModel* proxy,
                          QObject* parent = nullptr);

    const ListSortState& sortState() const { return m_sortState; }

    // columnIndex is the clicked header's 1-based index.
    void LstResult_ColumnClick(int columnIndex);
    // Returns whether the server menu was asked for.
    bool LstResult_MouseUp(Qt::MouseButton button, const QPoint& position);

signals:
    // The rows changed places; colours and anything tied to positions follow.
    void sorted();
    // Pop up the server menu at this screen position.
    void contextMenuRequested(const QPoint& globalPosition);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* m_list;
    QSortFilterProxyModel* m_proxy;
    const QObject* m_viewport;
    ListSortState m_sortState;
};
