#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Comma-separated text as RFC 4180 writes it: a field holding a quote, a
// comma, a line break or leading or trailing blanks is quoted with its
// quotes doubled, records end in CR LF.
namespace CsvText {

QString WriteRecord(const QStringList& fields);

struct Record {
    int line = 0; // the line the record starts on, from 1
    QStringList fields;
};

struct Parsed {
    QList<Record> records;
    // Empty when the whole text was read; else why it could not be, with its line.
    QString error;
};

// The records of the text; empty lines between them are skipped. Lines may
// end in CR LF, LF or CR. A quote inside an unquoted field, text after a
// closing quote or a quote left open makes the whole text unreadable.
Parsed Read(const QString& text);

} // namespace CsvText
