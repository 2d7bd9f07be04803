#pragma once

#include <QStringList>

#include <optional>

// The folder of skin files beside the program.
namespace SkinFolder {

// GetAppPath() + "Skin/".
QString path();

// The names of every file in the folder, whatever the extension, hidden ones
// (names beginning with ".") included, sorted by name without regard to case.
// Nothing when the folder is missing or cannot be read, so callers can tell
// that apart from an empty folder.
std::optional<QStringList> SkinFiles(const QString& folder);

} // namespace SkinFolder
