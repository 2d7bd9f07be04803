#pragma once

#include <QPlainTextEdit>
#include <QString>

// A multi-line box for request and reply texts. Until the operator edits it,
// it gives back exactly the text it was given, so a server saved unedited
// keeps its bytes. After an edit its line breaks are CR LF, the form
// requests, replies and the catalogue use, and every other character stays
// as shown (a non-breaking space stays one).
class MultiLineText final : public QPlainTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MultiLineText)
public:
    explicit MultiLineText(QWidget* parent = nullptr);
    ~MultiLineText() override;

    QString text() const;
    void setText(const QString& text);

private:
    QString m_given;
};
