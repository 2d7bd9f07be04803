#pragma once

#include "monitor/ServerRecord.h"

#include <QList>
#include <QtGlobal>

#include <optional>

class QAbstractItemView;
class QSortFilterProxyModel;
class ServerRowModel;

// The result list's selection, as rows of the server model.
class ResultListSelection final {
    Q_DISABLE_COPY_MOVE(ResultListSelection)
public:
    ResultListSelection(const QAbstractItemView& list, const QSortFilterProxyModel& proxy,
                        const ServerRowModel& rows);

    // The row the list reports as its selected item (the current row when it
    // is selected, else the first selected one); -1 without a selection.
    int selectedRow() const;
    // The server of that row: what the list shows of it as shown, the rest
    // (its TLS, HTTP and dependency settings) as the catalogue holds it, and
    // the revision of what the row shows.
    std::optional<ServerRecord> selectedServer() const;
    // Every selected row, in the order of the selection.
    QList<int> selectedRows() const;

private:
    const QAbstractItemView& m_list;
    const QSortFilterProxyModel& m_proxy;
    const ServerRowModel& m_rows;
};
