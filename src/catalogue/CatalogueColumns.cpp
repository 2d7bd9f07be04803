#include "catalogue/CatalogueColumns.h"

#include "catalogue/ServerChecks.h"
#include "monitor/TextNumbers.h"

#include <QCoreApplication>

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

QString readInUse(const ServerRecord& server) {
    return QString::number(server.inUse ? 1 : 0);
}

QString takeInUse(ServerRecord& server, const QString& text) {
    const QString flag = text.trimmed();
    if (flag != QLatin1String("0") && flag != QLatin1String("1"))
        return QCoreApplication::translate("CatalogueColumns", "启用监控只能是 0 或 1！");
    server.inUse = flag == QLatin1String("1");
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
    };
    return columns;
}

} // namespace CatalogueColumns
