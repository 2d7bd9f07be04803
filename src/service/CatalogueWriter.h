#pragma once

#include "monitor/MaintenanceWindow.h"
#include "monitor/ServerRecord.h"
#include "service/CatalogueFormat.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <optional>

// The servers as an exported catalogue file, UTF-8 without a byte-order mark.
// The columns and their order are those of CatalogueColumns.
namespace CatalogueWriter {

// A JSON file ends with the maintenance windows, when there are any, as one
// element {"maintenance": [...]}; a CSV file holds servers only.
QByteArray Write(const QList<ServerRecord>& servers, CatalogueFormat format,
                 const QList<MaintenanceWindow>& windows = {});

QJsonObject windowObject(const MaintenanceWindow& window);
// The window an object of the file describes; nothing when it describes none.
std::optional<MaintenanceWindow> windowOfObject(const QJsonObject& object);

} // namespace CatalogueWriter
