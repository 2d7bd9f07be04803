#include "catalogue/ui/MultiLineText.h"

#include <QTextDocument>

MultiLineText::MultiLineText(QWidget* parent)
    : QPlainTextEdit(parent) {}

MultiLineText::~MultiLineText() = default;

QString MultiLineText::text() const {
    if (!document()->isModified())
        return m_given;
    // The raw text keeps every character; toPlainText would turn a
    // non-breaking space into a space. Paragraph and line separators are the
    // document's line breaks.
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    raw.replace(QChar::LineSeparator, QLatin1String("\r\n"));
    return raw;
}

void MultiLineText::setText(const QString& text) {
    m_given = text;
    setPlainText(text);
    document()->setModified(false);
}
