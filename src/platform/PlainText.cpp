#include "platform/PlainText.h"

namespace PlainText {

QString asRichText(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + lines.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace PlainText
