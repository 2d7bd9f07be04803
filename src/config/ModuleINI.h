#pragma once

#include "config/IniFile.h"

#include <QString>

// The settings file beside the program. Every call computes the path anew and
// opens the file for that call only; the functions know nothing of keys.
namespace ModuleINI {

// Base name of the settings file, "RodOdazuConfig" unless set otherwise.
QString IniBaseName();
void setIniBaseName(const QString& baseName);

// The settings file of that base name in the settings folder (AppPaths).
QString IniFilePath(const QString& baseName);
// The settings file of the current base name, for reading or replacing
// several entries at once.
IniFile SettingsFile();

// The value of the entry as stored, empty when there is none; never writes,
// so an entry nobody set stays absent.
QString IniPeekString(const QString& section, const QString& key);

// The value of the entry, at most 143 bytes of UTF-8 and never a broken
// character. An absent or empty entry is repaired: the default is written
// under the same section and key and returned.
QString IniReadString(const QString& section, const QString& key, const QString& defaultValue);

// The leading decimal number of the value (an optional sign, then digits;
// no digits read as 0). A missing or empty entry, a missing or unreadable
// file, and a number beyond 32 bits give the default. Never writes.
qint32 IniReadInt(const QString& section, const QString& key, qint32 defaultValue);

// Both return false when nothing was written.
bool IniWriteString(const QString& section, const QString& key, const QString& value);
// Writes a blank before zero and positive numbers (" 1000") and "-" before
// negative ones; readers skip the blank.
bool IniWriteNumber(const QString& section, const QString& key, qint32 value);

// The decimal form IniWriteNumber writes.
QString numberText(qint32 value);
// Cuts a value to the bytes IniReadString returns.
QString cutToReadLimit(const QString& value);

} // namespace ModuleINI
