#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString& appPathOverride() {
    static QString folder;
    return folder;
}

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
} // namespace

QString GetAppPath() {
    if (!appPathOverride().isEmpty())
        return appPathOverride();
    return withSeparator(QCoreApplication::applicationDirPath());
}

void setAppPathForTesting(const QString& folder) {
    appPathOverride() = folder.isEmpty() ? QString() : withSeparator(QDir(folder).absolutePath());
}
