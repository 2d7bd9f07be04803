#include "catalogue/CatalogueColumns.h"

#include "catalogue/CheckKindText.h"
#include "catalogue/ServerChecks.h"
#include "monitor/TextNumbers.h"
#include "tls/TlsNameCheck.h"

#include <QCoreApplication>

#include <limits>

namespace {

template <QString ServerRecord::*field> QString readText(const ServerRecord& server) {
    return server.*field;
}

template <QString ServerRecord::*field>
QString takeText(ServerRecord& server, const QString& text) {
    server.*field = text;
    return {};
}

// A whole number from 1 to 65535, blanks around it allowed; kept without them.
QString takePort(ServerRecord& server, const QString& text) {
    const QString port = text.trimmed();
    if (!portNumber(port))
        return QCoreApplication::translate("CatalogueColumns",
                                           "目标端口必须是 1 到 65535 之间的整数！");
    server.port = port;
    return {};
}

// A flag column: "0" or "1", blanks around it allowed.
std::optional<bool> flagOf(const QString& text) {
    const QString flag = text.trimmed();
    if (flag == QLatin1String("0") || flag == QLatin1String("1"))
        return flag == QLatin1String("1");
    return std::nullopt;
}

QString readFlag(bool value) {
    return QString::number(value ? 1 : 0);
}

// A whole number from 0 up to max, blanks around it allowed.
std::optional<qint64> wholeNumberOf(const QString& text, qint64 max) {
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok);
    if (!ok || number < 0 || number > max)
        return std::nullopt;
    return number;
}

QString readInUse(const ServerRecord& server) {
    return readFlag(server.inUse);
}

QString takeInUse(ServerRecord& server, const QString& text) {
    const auto flag = flagOf(text);
    if (!flag)
        return QCoreApplication::translate("CatalogueColumns", "启用监控只能是 0 或 1！");
    server.inUse = *flag;
    return {};
}

QString readWarnMs(const ServerRecord& server) {
    return QString::number(server.warnMs);
}

QString takeWarnMs(ServerRecord& server, const QString& text) {
    const std::optional<qint32> ms = ServerChecks::WarnMsOf(text);
    if (!ms)
        return QCoreApplication::translate("CatalogueColumns",
                                           "响应警告(ms)必须是0到3600000之间的整数,0为不提示！");
    server.warnMs = *ms;
    return {};
}

QString readCheckKind(const ServerRecord& server) {
    return checkKindText(server.checkKind);
}

QString takeCheckKind(ServerRecord& server, const QString& text) {
    const auto kind = checkKindFromText(text.trimmed());
    if (!kind)
        return QCoreApplication::translate("CatalogueColumns", "检查方式只能是 tcp 或 http！");
    server.checkKind = *kind;
    return {};
}

QString readTransport(const ServerRecord& server) {
    return transportText(server.tls.transport);
}

QString takeTransport(ServerRecord& server, const QString& text) {
    const auto transport = transportFromText(text.trimmed());
    if (!transport)
        return QCoreApplication::translate("CatalogueColumns",
                                           "传输方式只能是空白、tls、starttls-smtp、starttls-imap、"
                                           "starttls-pop3 或 starttls-ftp！");
    server.tls.transport = *transport;
    return {};
}

QString readTlsName(const ServerRecord& server) {
    return server.tls.serverName;
}

QString takeTlsName(ServerRecord& server, const QString& text) {
    const QString problem = tlsNameProblem(text);
    if (problem.isEmpty())
        server.tls.serverName = text;
    return problem;
}

QString readTlsIgnoreErrors(const ServerRecord& server) {
    return readFlag(server.tls.ignoreErrors);
}

QString takeTlsIgnoreErrors(ServerRecord& server, const QString& text) {
    const auto flag = flagOf(text);
    if (!flag)
        return QCoreApplication::translate("CatalogueColumns", "忽略证书错误只能是 0 或 1！");
    server.tls.ignoreErrors = *flag;
    return {};
}

QString readCertWarnDays(const ServerRecord& server) {
    return QString::number(server.certWarnDays);
}

QString takeCertWarnDays(ServerRecord& server, const QString& text) {
    const auto days = wholeNumberOf(text, ServerChecks::MaxCertWarnDays);
    if (!days)
        return QCoreApplication::translate("CatalogueColumns",
                                           "证书到期提醒(天)必须是0到3650之间的整数,0为不提醒！");
    server.certWarnDays = static_cast<qint32>(*days);
    return {};
}

QString readHttpRedirects(const ServerRecord& server) {
    return readFlag(server.httpRedirects);
}

QString takeHttpRedirects(ServerRecord& server, const QString& text) {
    const auto flag = flagOf(text);
    if (!flag)
        return QCoreApplication::translate("CatalogueColumns", "跟随重定向只能是 0 或 1！");
    server.httpRedirects = *flag;
    return {};
}

template <qint64 ServerRecord::*field> QString readNumber(const ServerRecord& server) {
    return QString::number(server.*field);
}

QString takeParentId(ServerRecord& server, const QString& text) {
    const auto id = wholeNumberOf(text, std::numeric_limits<qint64>::max());
    if (!id)
        return QCoreApplication::translate("CatalogueColumns", "ParentID 必须是不小于 0 的整数！");
    server.parentId = *id;
    return {};
}

QString takeRevision(ServerRecord& server, const QString& text) {
    const auto revision = wholeNumberOf(text, std::numeric_limits<qint64>::max());
    if (!revision)
        return QCoreApplication::translate("CatalogueColumns", "Revision 必须是不小于 0 的整数！");
    server.revision = *revision;
    return {};
}

// The server's ID in the catalogue it was exported from: an import numbers
// its servers anew and maps ParentID through it.
QString takeId(ServerRecord& server, const QString& text) {
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok);
    if (!ok || id < 0)
        return QCoreApplication::translate("CatalogueColumns", "ID 必须是不小于 0 的整数！");
    server.id = id;
    return {};
}

} // namespace

namespace CatalogueColumns {

const QList<Column>& Columns() {
    using S = ServerRecord;
    static const QList<Column> columns = {
        {QStringLiteral("DisplayName"), Kind::Text, true, readText<&S::displayName>,
         takeText<&S::displayName>},
        {QStringLiteral("IPAddress"), Kind::Text, true, readText<&S::ipAddress>,
         takeText<&S::ipAddress>},
        {QStringLiteral("Port"), Kind::Number, true, readText<&S::port>, takePort},
        {QStringLiteral("PostData"), Kind::Text, false, readText<&S::postData>,
         takeText<&S::postData>},
        {QStringLiteral("ReplyData"), Kind::Text, false, readText<&S::replyData>,
         takeText<&S::replyData>},
        {QStringLiteral("AddTime"), Kind::Text, false, readText<&S::addTime>,
         takeText<&S::addTime>},
        {QStringLiteral("InUse"), Kind::Flag, false, readInUse, takeInUse},
        {QStringLiteral("WarnMs"), Kind::Number, false, readWarnMs, takeWarnMs},
        {QStringLiteral("CheckKind"), Kind::Text, false, readCheckKind, takeCheckKind},
        {QStringLiteral("Transport"), Kind::Text, false, readTransport, takeTransport},
        {QStringLiteral("TlsName"), Kind::Text, false, readTlsName, takeTlsName},
        {QStringLiteral("TlsIgnoreErrors"), Kind::Flag, false, readTlsIgnoreErrors,
         takeTlsIgnoreErrors},
        {QStringLiteral("CertWarnDays"), Kind::Number, false, readCertWarnDays, takeCertWarnDays},
        {QStringLiteral("CertNotified"), Kind::Text, false, readText<&S::certNotified>,
         takeText<&S::certNotified>},
        {QStringLiteral("Url"), Kind::Text, false, readText<&S::url>, takeText<&S::url>},
        {QStringLiteral("HttpMethod"), Kind::Text, false, readText<&S::httpMethod>,
         takeText<&S::httpMethod>},
        {QStringLiteral("HttpHeaders"), Kind::Text, false, readText<&S::httpHeaders>,
         takeText<&S::httpHeaders>},
        {QStringLiteral("HttpStatus"), Kind::Text, false, readText<&S::httpStatus>,
         takeText<&S::httpStatus>},
        {QStringLiteral("HttpRedirects"), Kind::Flag, false, readHttpRedirects, takeHttpRedirects},
        {QStringLiteral("JsonCondition"), Kind::Text, false, readText<&S::jsonCondition>,
         takeText<&S::jsonCondition>},
        {QStringLiteral("ParentID"), Kind::Number, false, readNumber<&S::parentId>, takeParentId},
        {QStringLiteral("Locations"), Kind::Text, false, readText<&S::locations>,
         takeText<&S::locations>},
        {QStringLiteral("Revision"), Kind::Number, false, readNumber<&S::revision>, takeRevision},
        {QStringLiteral("ID"), Kind::Number, false, readNumber<&S::id>, takeId},
    };
    return columns;
}

} // namespace CatalogueColumns
