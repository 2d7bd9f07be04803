#include "catalogue/ServerChecks.h"

#include "http/HttpHeaderLines.h"
#include "http/HttpMethod.h"
#include "http/HttpStatusCodes.h"
#include "http/HttpUrl.h"
#include "http/JsonCondition.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace ServerChecks {

std::optional<Refusal> MissingField(const ServerRecord& server) {
    if (server.displayName.isEmpty())
        return Refusal{Field::DisplayName,
                       QCoreApplication::translate("ServerChecks", "服务器名称不能为空！")};
    if (server.checkKind == ServerRecord::CheckKind::Tcp && server.ipAddress.isEmpty())
        return Refusal{Field::IPAddress,
                       QCoreApplication::translate("ServerChecks", "服务器IP地址不能为空！")};
    return std::nullopt;
}

std::optional<Refusal> HttpRefusal(const ServerRecord& server) {
    if (server.checkKind != ServerRecord::CheckKind::Http)
        return std::nullopt;
    QString reason;
    if (!HttpUrl::parse(server.url, &reason))
        return Refusal{Field::Url, reason};
    if (!HttpMethod::parse(server.httpMethod))
        return Refusal{
            Field::HttpMethod,
            QCoreApplication::translate("ServerChecks", "请求方法只能是 GET、HEAD、POST 或 PUT！")};
    if (!HttpHeaderLines::parse(server.httpHeaders, &reason))
        return Refusal{Field::HttpHeaders, reason};
    if (!HttpStatusCodes::parse(server.httpStatus, &reason))
        return Refusal{Field::HttpStatus, reason};
    if (!server.jsonCondition.isEmpty() && !JsonCondition::parse(server.jsonCondition, &reason))
        return Refusal{Field::JsonCondition, reason};
    return std::nullopt;
}

void TakeUrlAddress(ServerRecord& server) {
    if (server.checkKind != ServerRecord::CheckKind::Http)
        return;
    if (const std::optional<HttpUrl> url = HttpUrl::parse(server.url)) {
        server.ipAddress = url->host;
        server.port = QString::number(url->port);
    }
}

std::optional<qint32> WarnMsOf(const QString& text) {
    const QString number = text.trimmed();
    if (number.isEmpty())
        return 0;
    bool ok = false;
    const qint32 ms = number.toInt(&ok);
    if (!ok || ms < 0 || ms > MaxWarnMs)
        return std::nullopt;
    return ms;
}

std::optional<QString> LocationsOf(const QString& text) {
    QStringList names;
    for (const QString& typed : QString(text).replace(u'\uff0c', u',').split(u',')) {
        const QString name = typed.trimmed();
        if (std::any_of(name.cbegin(), name.cend(),
                        [](QChar c) { return c.category() == QChar::Other_Control; }))
            return std::nullopt;
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
            names << name;
    }
    return names.join(QLatin1Char(','));
}

} // namespace ServerChecks
