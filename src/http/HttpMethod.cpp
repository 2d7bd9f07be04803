#include "http/HttpMethod.h"

namespace HttpMethod {

const QStringList& All() {
    static const QStringList all = {QStringLiteral("GET"), QStringLiteral("HEAD"),
                                    QStringLiteral("POST"), QStringLiteral("PUT")};
    return all;
}

std::optional<QString> parse(const QString& text) {
    const QString method = text.trimmed().toUpper();
    if (!All().contains(method))
        return std::nullopt;
    return method;
}

} // namespace HttpMethod
