#include "shell/ResultListSelection.h"

#include "catalogue/ServerCatalogue.h"
#include "catalogue/ServerListLoader.h"
#include "monitor/ServerRowModel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>

ResultListSelection::ResultListSelection(const QAbstractItemView& list,
                                         const QSortFilterProxyModel& proxy,
                                         const ServerRowModel& rows)
    : m_list(list)
    , m_proxy(proxy)
    , m_rows(rows) {}

int ResultListSelection::selectedRow() const {
    const QItemSelectionModel* selection = m_list.selectionModel();
    QModelIndex current = m_list.currentIndex();
    if (!current.isValid() || !selection->isRowSelected(current.row(), current.parent())) {
        const QModelIndexList rows = selection->selectedRows();
        if (rows.isEmpty())
            return -1;
        current = rows.first();
    }
    return m_proxy.mapToSource(current).row();
}

std::optional<ServerRecord> ResultListSelection::selectedServer() const {
    const int row = selectedRow();
    if (row < 0)
        return std::nullopt;
    using Column = ServerRowModel::Column;
    const qint64 id = m_rows.text(row, Column::ID).toLongLong();
    // A server gone from the catalogue meanwhile keeps what its row shows.
    const std::optional<ServerRecord> stored = ServerCatalogue::SelectServer(id);
    ServerRecord server = stored.value_or(ServerRecord{});
    server.id = id;
    server.displayName = m_rows.text(row, Column::DisplayName);
    server.ipAddress = m_rows.text(row, Column::IPAddress);
    server.port = m_rows.text(row, Column::Port);
    server.postData = m_rows.text(row, Column::PostData);
    server.replyData = m_rows.text(row, Column::ReplyData);
    server.addTime = m_rows.text(row, Column::AddTime);
    server.inUse = m_rows.isChecked(row);
    server.warnMs = m_rows.warnMs(row);
    server.silencedUntil = m_rows.silencedUntil(row);
    // The revision these texts are of: the catalogue's while the row still
    // shows what it holds, else the older one the row was loaded with, so an
    // edit of them is not saved over a change the list does not show yet.
    server.revision = stored && ServerListLoader::RowShows(m_rows, row, *stored)
                          ? stored->revision
                          : m_rows.revision(row);
    return server;
}

QList<int> ResultListSelection::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& selected : m_list.selectionModel()->selectedRows())
        rows.append(m_proxy.mapToSource(selected).row());
    return rows;
}
