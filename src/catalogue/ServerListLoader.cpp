#include "catalogue/ServerListLoader.h"

#include "catalogue/TrimSpaces.h"

#include <QHash>
#include <QSet>

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

bool inSelection(const ServerRecord& server, ServerCatalogue::Selection selection) {
    switch (selection) {
    case ServerCatalogue::Selection::Enabled:
        return server.inUse;
    case ServerCatalogue::Selection::Disabled:
        return !server.inUse;
    case ServerCatalogue::Selection::All:
        break;
    }
    return true;
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

bool LoadServerList(ServerRowModel& model, ServerCatalogue::Selection selection,
                    const ServerFilter& filter) {
    bool read = false;
    QList<ServerRecord> servers = ServerCatalogue::SelectServers(selection, &read);
    if (filter)
        servers.removeIf([&filter](const ServerRecord& server) { return !filter(server); });
    LoadServerList(model, servers);
    return read;
}

bool LoadSearchResult(ServerRowModel& model, const QString& keyword) {
    bool read = false;
    LoadServerList(model, ServerCatalogue::SearchServers(keyword, &read));
    return read;
}

bool ReloadServers(ServerRowModel& model, const QList<qint64>& ids,
                   ServerCatalogue::Selection selection, const ServerFilter& filter) {
    bool read = false;
    const QList<ServerRecord> stored = ServerCatalogue::SelectServersById(ids, &read);
    if (!read)
        return false;
    QHash<qint64, const ServerRecord*> storedById;
    storedById.reserve(stored.size());
    for (const ServerRecord& server : stored)
        storedById.insert(server.id, &server);
    const auto shown = [&](const ServerRecord& server) {
        return inSelection(server, selection) && (!filter || filter(server));
    };
    QSet<qint64> asked(ids.cbegin(), ids.cend());
    QList<int> gone;
    for (int row = 0; row < model.rowCount(); ++row) {
        const qint64 id = model.text(row, ServerRowModel::ID).toLongLong();
        if (!asked.remove(id))
            continue;
        const ServerRecord* server = storedById.value(id);
        if (server && shown(*server))
            model.replaceRow(row, trimmed(*server));
        else
            gone << row;
    }
    for (auto row = gone.crbegin(); row != gone.crend(); ++row)
        model.removeRowAt(*row);
    QList<ServerRecord> added;
    for (const ServerRecord& server : stored) {
        if (asked.contains(server.id) && shown(server))
            added << trimmed(server);
    }
    model.appendRows(added);
    return true;
}

bool RowShows(const ServerRowModel& model, int row, const ServerRecord& server) {
    using Col = ServerRowModel::Column;
    const ServerRecord shown = trimmed(server);
    return model.text(row, Col::DisplayName) == shown.displayName &&
           model.text(row, Col::IPAddress) == shown.ipAddress &&
           model.text(row, Col::Port) == shown.port &&
           model.text(row, Col::PostData) == shown.postData &&
           model.text(row, Col::ReplyData) == shown.replyData &&
           model.isChecked(row) == shown.inUse && model.warnMs(row) == shown.warnMs;
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
