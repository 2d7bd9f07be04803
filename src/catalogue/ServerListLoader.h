#pragma once

#include "catalogue/ServerCatalogue.h"
#include "monitor/ServerRowModel.h"

#include <QList>
#include <QString>

#include <functional>

// Fills the result list from the catalogue and keeps the catalogue in step
// with the list's check boxes. Every view (monitored, not monitored, all,
// search) goes through LoadServerList; a load replaces all rows and their
// side data through ServerRowModel::resetRows. ReloadServers brings only the
// rows of some servers in step with the catalogue.
namespace ServerListLoader {

// Which of the selected servers a copy shows; an empty filter takes them all.
using ServerFilter = std::function<bool(const ServerRecord&)>;

// The servers as rows: name, address, port, request, reply and add time
// without leading and trailing spaces (tabs and line breaks stay).
void LoadServerList(ServerRowModel& model, const QList<ServerRecord>& servers);
// The servers of the catalogue. False when it could not be read: the list
// is then empty, and the caller says why, since an empty list alone looks
// like an empty catalogue.
bool LoadServerList(ServerRowModel& model, ServerCatalogue::Selection selection,
                    const ServerFilter& filter = {});
// The servers whose name, address, port, request or reply contains the
// keyword; false as above.
bool LoadSearchResult(ServerRowModel& model, const QString& keyword);

// Brings the rows of the servers with those IDs in step with the catalogue,
// leaving every other row, the order of the list and its selection as they
// are. A server the list shows that still belongs to the selection becomes a
// freshly loaded row in its place (ServerRowModel::replaceRow); one deleted
// or no longer in the selection loses its row; one of the selection the list
// does not show is added after the last row. The servers are read in one
// statement per 500 IDs. A server the filter refuses counts as outside the
// selection. False when the catalogue could not be read: the list is then
// left unchanged.
bool ReloadServers(ServerRowModel& model, const QList<qint64>& ids,
                   ServerCatalogue::Selection selection, const ServerFilter& filter = {});

// Whether the row still shows the server as the catalogue holds it: its
// texts as a load shows them, its check box and its warning time.
bool RowShows(const ServerRowModel& model, int row, const ServerRecord& server);

// Writes the row's new check state into the catalogue; empty on success, the
// failure report otherwise (shown under "对不起,更改状态失败"). The box keeps
// the state the operator gave it either way. A row that is gone is ignored.
QString LstResult_ItemCheck(const ServerRowModel& model, ServerRowModel::RowKey key, bool checked);

// Removes every row that carries neither a reply-error nor a ping-error flag;
// the kept rows keep their side data. The caller recolours the list.
void KeepFailingRows(ServerRowModel& model);

} // namespace ServerListLoader
