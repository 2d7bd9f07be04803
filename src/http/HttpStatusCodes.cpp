#include "http/HttpStatusCodes.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr int LowestCode = 100;
constexpr int HighestCode = 599;

std::optional<HttpStatusCodes> refuse(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
    return std::nullopt;
}

} // namespace

std::optional<HttpStatusCodes> HttpStatusCodes::parse(const QString& text, QString* reason) {
    if (text.trimmed().isEmpty())
        return refuse(reason, QCoreApplication::translate("HttpStatusCodes",
                                                          "接受的状态码不能为空,如 200-299,301！"));
    static const QRegularExpression item(
        QStringLiteral("^\\s*([0-9]{3})\\s*(?:-\\s*([0-9]{3})\\s*)?$"));
    HttpStatusCodes codes;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = item.match(part);
        const int first = match.captured(1).toInt();
        const int last = match.hasCaptured(2) ? match.captured(2).toInt() : first;
        if (!match.hasMatch() || first < LowestCode || last > HighestCode)
            return refuse(reason,
                          QCoreApplication::translate(
                              "HttpStatusCodes",
                              "接受的状态码“%1”无效,只能是 100 到 599 之间的状态码或范围,如 "
                              "200-299,301！")
                              .arg(part.trimmed()));
        if (first > last)
            return refuse(reason, QCoreApplication::translate(
                                      "HttpStatusCodes", "接受的状态码范围“%1”的起点大于终点！")
                                      .arg(part.trimmed()));
        codes.m_ranges.append({first, last});
    }
    return codes;
}

bool HttpStatusCodes::accepts(int code) const {
    return std::any_of(m_ranges.cbegin(), m_ranges.cend(),
                       [code](const std::pair<int, int>& range) {
                           return code >= range.first && code <= range.second;
                       });
}
