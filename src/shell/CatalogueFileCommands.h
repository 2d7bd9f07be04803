#pragma once

#include "service/CatalogueTransfer.h"

#include <optional>

class QWidget;

// The server menu's import and export: a file dialog, the transfer, and a
// box with the outcome.
namespace CatalogueFileCommands {

// Asks for a CSV or JSON file and adds its servers; nothing when cancelled.
std::optional<CatalogueTransfer::ImportReport> ImportChosenFile(QWidget* parent);
// How many were added, and the refused rows with their lines and reasons.
void ShowImportReport(QWidget* parent, const CatalogueTransfer::ImportReport& report);
// Asks where to write the whole catalogue and writes it there.
void ExportServers(QWidget* parent);

} // namespace CatalogueFileCommands
