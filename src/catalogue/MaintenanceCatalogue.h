#pragma once

#include "monitor/MaintenanceWindow.h"

#include <QList>
#include <QString>

// The maintenance windows of the catalogue (table Maintenance). Changes
// return DbExecute's report: empty on success, the failure text otherwise.
namespace MaintenanceCatalogue {

// In ID order; nothing when the catalogue cannot be read, and then *ok,
// when given, is false.
QList<MaintenanceWindow> SelectWindows(bool* ok = nullptr);
// Adds the window (its id is ignored).
QString AddWindow(const MaintenanceWindow& window);
QString ChangeWindow(const MaintenanceWindow& window);
QString DeleteWindow(qint64 id);
// The server is gone: it leaves every window's list, and a window left
// over no server at all goes too (an empty list means every server).
QString RemoveServer(qint64 serverId);

// The Servers column: catalogue IDs, comma-separated; empty for all.
QString serversText(const QList<qint64>& servers);
QList<qint64> serversOfText(const QString& text);

} // namespace MaintenanceCatalogue
