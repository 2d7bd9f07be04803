#pragma once

#include <QByteArray>
#include <QString>

// Files the program writes whole: the settings file, an exported catalogue,
// a history export. The bytes go to a temporary file beside the target that
// replaces it only once every byte has reached the file system; on any
// failure (a full disk, a file size limit) the target keeps its old bytes.
namespace WholeFile {

// False with error set (when given) to the reason when the file keeps its
// old content.
bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace WholeFile
