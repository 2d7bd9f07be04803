#pragma once

#include "monitor/ServerRecord.h"

#include <QList>
#include <QString>

// The columns of an exported catalogue, in file order: one entry per
// column, read by the writer and the reader of both file formats.
namespace CatalogueColumns {

// How the JSON form writes the value; the CSV form holds them all as text.
enum class Kind { Text, Number, Flag };

struct Column {
    QString key;
    Kind kind;
    // A file without the column is no server list (CSV), an object without
    // it gives the empty text (JSON); any other column may be left out.
    bool required;
    QString (*read)(const ServerRecord& server);
    // Takes the text into the server; the reason the row is refused otherwise.
    QString (*take)(ServerRecord& server, const QString& text);
};

const QList<Column>& Columns();

} // namespace CatalogueColumns
