#pragma once

#include <QString>
#include <QStringList>

class Utf8Chunks;

// Comma-separated records as RFC 4180 writes them (CsvText), read one
// record at a time, so a file of any length is read in little memory.
// Empty lines between records are skipped; lines may end in CR LF, LF or
// CR. A quote inside an unquoted field, text after a closing quote or a
// quote left open makes the rest of the text unreadable.
class CsvReader final {
    Q_DISABLE_COPY_MOVE(CsvReader)
public:
    struct Record {
        int line = 0; // the line the record starts on, from 1
        QStringList fields;
    };

    explicit CsvReader(Utf8Chunks& text);

    // The next record; false at the end of the text and when the text
    // cannot be read on, error() then saying why with its line (empty when
    // the text itself failed: see Utf8Chunks).
    bool next(Record& record);
    QString error() const { return m_error; }

private:
    // Whether the text is used up, reading the next piece when this one is.
    bool atEnd();
    QChar current() const { return m_piece.at(m_at); }
    void skipLineBreak();
    bool fail(int line, const QString& what);

    Utf8Chunks& m_text;
    QString m_piece;
    qsizetype m_at = 0;
    int m_line = 1;
    QString m_error;
};
