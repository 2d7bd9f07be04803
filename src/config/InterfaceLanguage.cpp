#include "config/InterfaceLanguage.h"

#include "config/ModuleINI.h"

namespace InterfaceLanguage {

Choice fromSetting(const QString& value) {
    const QString key = value.trimmed().toLower();
    if (key == QLatin1String("en"))
        return Choice::English;
    if (key == QLatin1String("system"))
        return Choice::System;
    return Choice::Chinese;
}

QString settingText(Choice choice) {
    switch (choice) {
    case Choice::English:
        return QStringLiteral("en");
    case Choice::System:
        return QStringLiteral("system");
    case Choice::Chinese:
        break;
    }
    return QStringLiteral("zh");
}

// Read without ModuleINI's default writing: a file nobody chose a language
// in stays as it was.
Choice read() {
    return fromSetting(
        ModuleINI::IniPeekString(QStringLiteral("SETUP"), QStringLiteral("LANGUAGE")));
}

bool english(Choice choice, const QLocale& system) {
    switch (choice) {
    case Choice::English:
        return true;
    case Choice::System:
        return system.language() == QLocale::English;
    case Choice::Chinese:
        break;
    }
    return false;
}

} // namespace InterfaceLanguage
