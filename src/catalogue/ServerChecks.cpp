#include "catalogue/ServerChecks.h"

#include <QCoreApplication>

namespace ServerChecks {

std::optional<Refusal> MissingField(const ServerRecord& server) {
    if (server.displayName.isEmpty())
        return Refusal{Field::DisplayName,
                       QCoreApplication::translate("ServerChecks", "服务器名称不能为空！")};
    if (server.ipAddress.isEmpty())
        return Refusal{Field::IPAddress,
                       QCoreApplication::translate("ServerChecks", "服务器IP地址不能为空！")};
    return std::nullopt;
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

} // namespace ServerChecks
