#pragma once

#include "monitor/ServerRecord.h"
#include "service/CatalogueFormat.h"

#include <QByteArray>
#include <QList>

// The servers as an exported catalogue file, UTF-8 without a byte-order mark.
// The columns and their order are those of CatalogueColumns.
namespace CatalogueWriter {

QByteArray Write(const QList<ServerRecord>& servers, CatalogueFormat format);

} // namespace CatalogueWriter
