#pragma once

#include <QLocale>
#include <QString>

// The language of the interface, SETUP/LANGUAGE of the settings file, read
// once at start: "en" English, "system" English on a system whose locale is
// English and Chinese on any other, anything else (no entry included)
// Chinese, the language the texts are written in.
namespace InterfaceLanguage {

enum class Choice { Chinese, English, System };

Choice fromSetting(const QString& value);
QString settingText(Choice choice);

// The choice in the settings file in force.
Choice read();

// Whether the interface is English under choice on a system in locale.
bool english(Choice choice, const QLocale& system = QLocale::system());

} // namespace InterfaceLanguage
