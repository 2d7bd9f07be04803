#include "config/SkinFolder.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace SkinFolder {

std::optional<QStringList> SkinFiles(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return std::nullopt;
    const QDir dir(folder);
    return dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
}

std::optional<QStringList> SkinFiles() {
    std::optional<QStringList> names;
    for (const QString& folder : AppPaths::current().skinFolders()) {
        const std::optional<QStringList> files = SkinFiles(folder);
        if (!files)
            continue;
        if (!names) {
            names = files;
            continue;
        }
        for (const QString& file : *files) {
            if (!names->contains(file))
                names->append(file);
        }
        std::stable_sort(names->begin(), names->end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
    }
    return names;
}

QString filePath(const QString& name) {
    return AppPaths::current().skinFile(name);
}

} // namespace SkinFolder
