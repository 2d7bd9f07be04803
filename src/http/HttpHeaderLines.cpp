#include "http/HttpHeaderLines.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace {

bool isToken(const QString& name) {
    static const QRegularExpression token(QStringLiteral("^[A-Za-z0-9!#$%&'*+.^_`|~-]+$"));
    return token.match(name).hasMatch();
}

bool hasControl(const QString& value) {
    return std::any_of(value.cbegin(), value.cend(), [](QChar c) {
        return c != u'\t' && (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                              c == QChar::ParagraphSeparator);
    });
}

} // namespace

namespace HttpHeaderLines {

std::optional<QList<QByteArray>> parse(const QString& text, QString* reason) {
    const auto refuse = [reason](const QString& why) -> std::optional<QList<QByteArray>> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    QList<QByteArray> headers;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(lineBreak);
    for (qsizetype at = 0; at < lines.size(); ++at) {
        const QString line = lines.at(at).trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(QCoreApplication::translate("HttpHeaderLines",
                                                      "请求头第 %1 行没有冒号,应写成“名称: 值”！")
                              .arg(at + 1));
        const QString name = line.left(colon).trimmed();
        if (!isToken(name))
            return refuse(
                QCoreApplication::translate("HttpHeaderLines", "请求头第 %1 行的名称“%2”无效！")
                    .arg(at + 1)
                    .arg(name));
        const QString value = line.mid(colon + 1).trimmed();
        if (hasControl(value))
            return refuse(
                QCoreApplication::translate("HttpHeaderLines", "请求头第 %1 行的值含有控制字符！")
                    .arg(at + 1));
        headers.append(value.isEmpty() ? name.toUtf8() + ':'
                                       : (name + QStringLiteral(": ") + value).toUtf8());
    }
    return headers;
}

} // namespace HttpHeaderLines
