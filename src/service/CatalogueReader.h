#pragma once

#include "monitor/ServerRecord.h"
#include "service/CatalogueFormat.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// Reads an exported catalogue file (UTF-8, a byte-order mark allowed) row by
// row, checking each row as the add dialog checks a server and a port from
// 1 to 65535 besides; an HTTP(S) row takes its address and port from its URL. Unknown columns are
// ignored, so a file written by a later version still reads. Only the row at hand is held, so a
// file of any length is read in little memory. An element of a JSON file that is an object
// holding only "maintenance" holds the maintenance windows.
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
    int accepted = 0;
    QList<Refusal> refused;
    // Empty when the whole file was read; else why not, and nothing of it counts.
    QString error;
    // The maintenance windows of a JSON file (CatalogueWriter), as written.
    QList<QJsonObject> maintenance;
};

// Hands each acceptable row to take, in file order. take returns the empty
// text to go on, or a failure that ends the reading as the result's error.
Result Read(QIODevice& in, CatalogueFormat format,
            const std::function<QString(const Row& row)>& take);

} // namespace CatalogueReader
