#include "catalogue/CheckKindText.h"

QString checkKindText(ServerRecord::CheckKind kind) {
    return kind == ServerRecord::CheckKind::Http ? QStringLiteral("http") : QStringLiteral("tcp");
}

std::optional<ServerRecord::CheckKind> checkKindFromText(const QString& text) {
    if (text == QLatin1String("tcp"))
        return ServerRecord::CheckKind::Tcp;
    if (text == QLatin1String("http"))
        return ServerRecord::CheckKind::Http;
    return std::nullopt;
}
