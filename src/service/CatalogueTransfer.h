#pragma once

#include "service/CatalogueReader.h"

#include <QList>
#include <QString>

// Import and export of the whole catalogue through a file, in the form its
// name chooses (CatalogueFormatOf). Both run on the open catalogue
// (ModuleDB) and need no window.
namespace CatalogueTransfer {

struct ImportReport {
    int added = 0;
    QList<CatalogueReader::Refusal> refused;
    // Why nothing was imported: the file could not be read or the catalogue
    // refused the change. Empty otherwise.
    QString error;

    // 0 every row added, 1 some refused, 2 nothing imported.
    int exitCode() const { return !error.isEmpty() ? 2 : refused.isEmpty() ? 0 : 1; }
};

// The largest file an import reads.
constexpr qint64 MaxImportBytes = qint64(1) << 30;

// Adds every acceptable row of the file as a new server, all in one
// transaction: nothing is written when the file cannot be read or the
// catalogue fails. A row's AddTime is kept; a row without one is stamped now.
// Its certificate notice and revision are kept too, so an exported server
// comes back as it was. The servers are numbered anew: ParentID and the
// windows of a JSON file follow the IDs the file gave them.
// The file is read a row at a time; anything but a regular file, and a
// file beyond MaxImportBytes, is refused before a byte of it is read.
ImportReport ImportServers(const QString& path);

struct ExportReport {
    int written = 0;
    QString error; // empty on success
};

// Writes every server of the catalogue, in ID order, and in a JSON file the
// maintenance windows; the file is replaced whole or not at all.
ExportReport ExportServers(const QString& path);

} // namespace CatalogueTransfer
