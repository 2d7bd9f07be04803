#pragma once

#include <QStringList>

#include <optional>

// The skin files: the user's skin folder, then the shipped one (AppPaths).
namespace SkinFolder {

// The names of every file in the folder, whatever the extension, hidden ones
// (names beginning with ".") included, sorted by name without regard to case.
// Nothing when the folder is missing or cannot be read, so callers can tell
// that apart from an empty folder.
std::optional<QStringList> SkinFiles(const QString& folder);

// The names in every skin folder together, each name once (a user skin hides
// a shipped one of that name), sorted as above. Nothing when no skin folder
// can be read.
std::optional<QStringList> SkinFiles();

// The file a skin name stands for.
QString filePath(const QString& name);

} // namespace SkinFolder
