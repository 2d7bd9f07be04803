#pragma once

#include <QCoreApplication>
#include <QString>

// The program's title, version and desktop identifier. The version and the
// identifier come from the build (project(VERSION) in CMakeLists.txt).
namespace AppVersion {

inline constexpr int Major = SERVERMON_VERSION_MAJOR;
inline constexpr int Minor = SERVERMON_VERSION_MINOR;
inline constexpr int Revision = SERVERMON_VERSION_PATCH;

inline QString text() {
    return QStringLiteral("%1.%2.%3").arg(Major).arg(Minor).arg(Revision);
}

inline QString title() {
    return QCoreApplication::translate("AppVersion", "青岚服务器监控");
}

// The reverse-DNS name of the desktop entry, the metainfo and the icon.
inline QString desktopId() {
    return QStringLiteral(SERVERMON_APP_ID);
}

} // namespace AppVersion
