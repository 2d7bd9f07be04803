#include "config/ModuleINI.h"

#include "config/IniFile.h"
#include "platform/AppPaths.h"

#include <QStringDecoder>

#include <limits>

namespace ModuleINI {
namespace {

// The value buffer of the private-profile read holds 144 bytes with its NUL.
constexpr qsizetype ReadLimitBytes = 143;

QString& baseNameVariable() {
    static QString name = QStringLiteral("RodOdazuConfig");
    return name;
}

} // namespace

QString IniBaseName() {
    return baseNameVariable();
}

void setIniBaseName(const QString& baseName) {
    baseNameVariable() = baseName;
}

QString IniFilePath(const QString& baseName) {
    return AppPaths::current().settingsFile(baseName);
}

IniFile SettingsFile() {
    return IniFile(IniFilePath(IniBaseName()));
}

QString IniPeekString(const QString& section, const QString& key) {
    return SettingsFile().value(section, key).value_or(QString());
}

QString cutToReadLimit(const QString& value) {
    const QByteArray bytes = value.toUtf8();
    if (bytes.size() <= ReadLimitBytes)
        return value;
    qsizetype cut = ReadLimitBytes;
    // Step back over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
        --cut;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes.left(cut));
}

QString IniReadString(const QString& section, const QString& key, const QString& defaultValue) {
    IniFile file = SettingsFile();
    const std::optional<QString> stored = file.value(section, key);
    if (!stored || stored->isEmpty()) {
        file.setValue(section, key, defaultValue);
        return defaultValue;
    }
    return cutToReadLimit(*stored);
}

qint32 IniReadInt(const QString& section, const QString& key, qint32 defaultValue) {
    const std::optional<QString> stored = SettingsFile().value(section, key);
    if (!stored || stored->isEmpty())
        return defaultValue;
    const QString& text = *stored;
    qsizetype end = 0;
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
        end = 1;
    const qsizetype digitsBegin = end;
    while (end < text.size() && text.at(end) >= QLatin1Char('0') &&
           text.at(end) <= QLatin1Char('9'))
        ++end;
    if (end == digitsBegin)
        return 0;
    bool ok = false;
    const qlonglong number = text.left(end).toLongLong(&ok);
    if (!ok || number < std::numeric_limits<qint32>::min() ||
        number > std::numeric_limits<qint32>::max())
        return defaultValue;
    return static_cast<qint32>(number);
}

bool IniWriteString(const QString& section, const QString& key, const QString& value) {
    return SettingsFile().setValue(section, key, value);
}

QString numberText(qint32 value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

bool IniWriteNumber(const QString& section, const QString& key, qint32 value) {
    return IniWriteString(section, key, numberText(value));
}

} // namespace ModuleINI
