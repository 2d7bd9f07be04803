#include "catalogue/ModuleGetPostData.h"

#include "catalogue/ModuleDB.h"
#include "catalogue/TrimSpaces.h"

#include <QSqlRecord>

namespace ModuleGetPostData {

std::optional<RequestTemplate> LoadRequestTemplate(int port, Transport transport) {
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(
        QStringLiteral(
            "select * from senddata where port=? and Transport=? order by rowid limit 1"),
        {port, transportText(transport)});
    if (rows.isEmpty())
        return std::nullopt;
    const QSqlRecord& row = rows.first();
    RequestTemplate found;
    found.postData = TrimSpaces(row.value(QStringLiteral("SendData")).toString());
    found.replyData = TrimSpaces(row.value(QStringLiteral("ReplyData")).toString());
    found.serverType = TrimSpaces(row.value(QStringLiteral("ServerType")).toString());
    if (found.postData.isEmpty())
        return std::nullopt;
    return found;
}

std::optional<RequestTemplate> LoadRequestTemplate(const QString& port, Transport transport) {
    bool ok = false;
    const int number = port.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return LoadRequestTemplate(number, transport);
}

} // namespace ModuleGetPostData
