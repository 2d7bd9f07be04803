#include "catalogue/ServerListLoader.h"

#include "catalogue/TrimSpaces.h"

#include <algorithm>
#include <array>

namespace {

const QString kFlagSet = QStringLiteral("1");

// The texts of a server that a load trims.
template <typename Record> auto trimmedTexts(Record& server) {
    return std::array{&server.displayName, &server.ipAddress, &server.port,
                      &server.postData,    &server.replyData, &server.addTime};
}

ServerRecord trimmed(ServerRecord server) {
    for (QString* text : trimmedTexts(server))
        *text = TrimSpaces(*text);
    return server;
}

bool isPadded(const ServerRecord& server) {
    const auto texts = trimmedTexts(server);
    return std::any_of(texts.cbegin(), texts.cend(), [](const QString* text) {
        return text->startsWith(QLatin1Char(' ')) || text->endsWith(QLatin1Char(' '));
    });
}

bool isFailing(const ServerRowModel& model, int row) {
    return model.tag(row, ServerRowModel::ReplyErr) == kFlagSet ||
           model.tag(row, ServerRowModel::PingErr) == kFlagSet;
}

} // namespace

namespace ServerListLoader {

void LoadServerList(ServerRowModel& model, const QList<ServerRecord>& servers) {
    // Mostly nothing is padded: the list is then loaded as it is, not copied.
    if (std::none_of(servers.cbegin(), servers.cend(), isPadded)) {
        model.resetRows(servers);
        return;
    }
    QList<ServerRecord> rows;
    rows.reserve(servers.size());
    for (const ServerRecord& server : servers)
        rows << trimmed(server);
    model.resetRows(rows);
}

bool LoadServerList(ServerRowModel& model, ServerCatalogue::Selection selection) {
    bool read = false;
    LoadServerList(model, ServerCatalogue::SelectServers(selection, &read));
    return read;
}

bool LoadSearchResult(ServerRowModel& model, const QString& keyword) {
    bool read = false;
    LoadServerList(model, ServerCatalogue::SearchServers(keyword, &read));
    return read;
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
