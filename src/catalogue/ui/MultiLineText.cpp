#include "catalogue/ui/MultiLineText.h"

#include <QPlainTextEdit>

namespace MultiLineText {

QString text(const QPlainTextEdit& box) {
    QString plain = box.toPlainText();
    return plain.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void setText(QPlainTextEdit& box, const QString& text) {
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setPlainText(plain);
}

} // namespace MultiLineText
