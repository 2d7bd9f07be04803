#pragma once

#include <QString>

// The program's title and version, shown as major.minor.revision.
namespace AppVersion {

inline constexpr int Major = 1;
inline constexpr int Minor = 0;
inline constexpr int Revision = 28;

inline QString text() {
    return QStringLiteral("%1.%2.%3").arg(Major).arg(Minor).arg(Revision);
}

inline QString title() {
    return QStringLiteral("青岚服务器监控");
}

} // namespace AppVersion
