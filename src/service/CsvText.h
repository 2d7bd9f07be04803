#pragma once

#include <QString>
#include <QStringList>

// Comma-separated text as RFC 4180 writes it: a field holding a quote, a
// comma, a line break or leading or trailing blanks is quoted with its
// quotes doubled, records end in CR LF. CsvReader reads it back.
namespace CsvText {

QString WriteRecord(const QStringList& fields);

} // namespace CsvText
