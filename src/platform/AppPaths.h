#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps and finds its files, decided once at start.
//
// Portable: the settings, the catalogue, Skin/ and Sound/ beside the
// executable. Chosen by --portable, by a file named "portable" beside the
// executable, or by a settings file or catalogue already lying there.
// Installed (otherwise): settings in $XDG_CONFIG_HOME/servermon/, the
// catalogue and user skins in $XDG_DATA_HOME/servermon/, shipped skins and
// the sound in ../share/servermon/ from the executable.
// A configuration folder (--config-dir) takes the settings, the catalogue
// and user skins; shipped skins and the sound stay where the mode puts them.
//
// Every file path of the program comes from here.
class AppPaths final {
public:
    enum class Mode { Portable, Installed };

    struct Choice {
        bool portable = false;
        QString configDir; // empty: the mode's own folders
    };

    static constexpr const char* SettingsBaseName = "RodOdazuConfig";
    static constexpr const char* CatalogueName = "ServerList.db";
    static constexpr const char* HistoryName = "History.db";
    static constexpr const char* PortableMarker = "portable";

    // The paths for an executable in programFolder.
    static AppPaths decide(const QString& programFolder, const Choice& choice);
    // Everything in one folder, as a portable copy living there.
    static AppPaths portableIn(const QString& folder);

    // The paths in force; until set, those decided for the running executable
    // without options.
    static const AppPaths& current();
    static void setCurrent(const AppPaths& paths);

    Mode mode() const { return m_mode; }
    // The executable itself, as the user would name it to setcap.
    QString programFile() const;

    QString settingsFolder() const { return m_settingsFolder; }
    QString settingsFile(const QString& baseName) const;
    QString dataFolder() const { return m_dataFolder; }
    QString catalogueFile() const;
    // The result history, beside the catalogue.
    QString historyFile() const;
    // The lock that keeps one running copy per data folder.
    QString instanceLockFile() const;
    QString soundFile() const;
    // The compiled translations, shipped beside the skins and the sound.
    QString translationFolder() const { return m_shippedFolder; }

    // Skin folders in the order a name is looked up: the user's first, then
    // the shipped ones; one folder when both are the same.
    QStringList skinFolders() const;
    QString userSkinFolder() const { return m_userSkinFolder; }
    // The file of a skin: the first folder holding it, else the user's folder.
    QString skinFile(const QString& name) const;

    // Makes the folders the program writes to; false when one cannot be made.
    bool createFolders() const;

private:
    AppPaths() = default;

    Mode m_mode = Mode::Portable;
    QString m_programFolder;
    QString m_settingsFolder;
    QString m_dataFolder;
    QString m_userSkinFolder;
    QString m_shippedFolder; // holds Skin/, Sound/ and the translations as shipped
};
