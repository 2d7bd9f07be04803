#include "catalogue/ServerListLoader.h"

#include "catalogue/TrimSpaces.h"

namespace {

const QString kFlagSet = QStringLiteral("1");

ServerRecord trimmed(ServerRecord server) {
    for (QString* text : {&server.displayName, &server.ipAddress, &server.port, &server.postData,
                          &server.replyData, &server.addTime})
        *text = TrimSpaces(*text);
    return server;
}

bool isFailing(const ServerRowModel& model, int row) {
    return model.tag(row, ServerRowModel::ReplyErr) == kFlagSet ||
           model.tag(row, ServerRowModel::PingErr) == kFlagSet;
}

} // namespace

namespace ServerListLoader {

void LoadServerList(ServerRowModel& model, const QList<ServerRecord>& servers) {
    QList<ServerRecord> rows;
    rows.reserve(servers.size());
    for (const ServerRecord& server : servers)
        rows << trimmed(server);
    model.resetRows(rows);
}

void LoadServerList(ServerRowModel& model, ServerCatalogue::Selection selection) {
    LoadServerList(model, ServerCatalogue::SelectServers(selection));
}

void LoadSearchResult(ServerRowModel& model, const QString& keyword) {
    LoadServerList(model, ServerCatalogue::SearchServers(keyword));
}

QString LstResult_ItemCheck(const ServerRowModel& model, ServerRowModel::RowKey key, bool checked) {
    const int row = model.rowOfKey(key);
    if (row < 0)
        return {};
    return ServerCatalogue::SetServerInUse(model.text(row, ServerRowModel::ID).toLongLong(),
                                           checked);
}

void KeepFailingRows(ServerRowModel& model) {
    for (int row = model.rowCount() - 1; row >= 0; --row) {
        if (!isFailing(model, row))
            model.removeRowAt(row);
    }
}

} // namespace ServerListLoader
