#pragma once

#include "monitor/ServerRecord.h"
#include "service/CatalogueFormat.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads an exported catalogue file (UTF-8, a byte-order mark allowed) into
// servers, checking each row as the add dialog checks a server and a port
// from 1 to 65535 besides. Unknown columns are ignored, so a file written by
// a later version still reads.
namespace CatalogueReader {

struct Row {
    int line = 0; // where the row starts in the file, from 1
    ServerRecord server;
};

struct Refusal {
    int line = 0;
    QString reason;
};

struct Result {
    QList<Row> accepted;
    QList<Refusal> refused;
    // Empty when the file could be read; else why not, and nothing of it counts.
    QString error;
};

Result Read(const QByteArray& data, CatalogueFormat format);

} // namespace CatalogueReader
