#include "config/SkinFolder.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>

namespace SkinFolder {

QString path() {
    return GetAppPath() + QStringLiteral("Skin/");
}

std::optional<QStringList> SkinFiles(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return std::nullopt;
    const QDir dir(folder);
    return dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
}

} // namespace SkinFolder
