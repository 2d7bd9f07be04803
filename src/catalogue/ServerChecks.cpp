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

} // namespace ServerChecks
