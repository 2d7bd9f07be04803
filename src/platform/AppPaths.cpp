#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace {

const QString AppFolderName = QStringLiteral("servermon");

QString inFolder(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

QString absoluteFolder(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

bool portableCopyIn(const QString& folder) {
    const QStringList signs{
        QString::fromLatin1(AppPaths::PortableMarker), QString::fromLatin1(AppPaths::CatalogueName),
        QString::fromLatin1(AppPaths::SettingsBaseName) + QStringLiteral(".ini")};
    return std::any_of(signs.cbegin(), signs.cend(), [&folder](const QString& name) {
        return QFileInfo::exists(inFolder(folder, name));
    });
}

std::optional<AppPaths>& currentPaths() {
    static std::optional<AppPaths> paths;
    return paths;
}

} // namespace

AppPaths AppPaths::decide(const QString& programFolder, const Choice& choice) {
    AppPaths paths;
    paths.m_programFolder = absoluteFolder(programFolder);
    if (choice.portable || portableCopyIn(paths.m_programFolder)) {
        paths.m_mode = Mode::Portable;
        paths.m_settingsFolder = paths.m_programFolder;
        paths.m_dataFolder = paths.m_programFolder;
        paths.m_shippedFolder = paths.m_programFolder;
    } else {
        // The generic locations: the App* ones would add an organisation folder.
        paths.m_mode = Mode::Installed;
        paths.m_settingsFolder = inFolder(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), AppFolderName);
        paths.m_dataFolder = inFolder(
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), AppFolderName);
        paths.m_shippedFolder =
            QDir::cleanPath(inFolder(paths.m_programFolder, QStringLiteral("../share/servermon")));
    }
    if (!choice.configDir.isEmpty()) {
        paths.m_settingsFolder = absoluteFolder(choice.configDir);
        paths.m_dataFolder = paths.m_settingsFolder;
    }
    paths.m_userSkinFolder = inFolder(paths.m_dataFolder, QStringLiteral("Skin"));
    return paths;
}

AppPaths AppPaths::portableIn(const QString& folder) {
    return decide(folder, Choice{true, {}});
}

const AppPaths& AppPaths::current() {
    std::optional<AppPaths>& paths = currentPaths();
    if (!paths)
        paths = decide(QCoreApplication::applicationDirPath(), {});
    return *paths;
}

void AppPaths::setCurrent(const AppPaths& paths) {
    currentPaths() = paths;
}

QString AppPaths::programFile() const {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return inFolder(m_programFolder, AppFolderName);
}

QString AppPaths::settingsFile(const QString& baseName) const {
    return inFolder(m_settingsFolder, baseName + QStringLiteral(".ini"));
}

QString AppPaths::catalogueFile() const {
    return inFolder(m_dataFolder, QString::fromLatin1(CatalogueName));
}

QString AppPaths::historyFile() const {
    return inFolder(m_dataFolder, QString::fromLatin1(HistoryName));
}

QString AppPaths::instanceLockFile() const {
    return inFolder(m_dataFolder, QStringLiteral("servermon.lock"));
}

QString AppPaths::soundFile() const {
    return inFolder(m_shippedFolder, QStringLiteral("Sound/NewMessage.wav"));
}

QStringList AppPaths::skinFolders() const {
    const QString shipped = inFolder(m_shippedFolder, QStringLiteral("Skin"));
    if (shipped == m_userSkinFolder)
        return {m_userSkinFolder};
    return {m_userSkinFolder, shipped};
}

QString AppPaths::skinFile(const QString& name) const {
    for (const QString& folder : skinFolders()) {
        const QString file = inFolder(folder, name);
        if (QFileInfo::exists(file))
            return file;
    }
    return inFolder(m_userSkinFolder, name);
}

bool AppPaths::createFolders() const {
    QDir root;
    return root.mkpath(m_settingsFolder) && root.mkpath(m_dataFolder);
}
