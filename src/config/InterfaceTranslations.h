#pragma once

class QCoreApplication;
class QString;

// The interface language of this run. The texts in the code are Chinese, so
// Chinese needs only Qt's own Chinese texts; English loads the program's
// English translation and leaves Qt's texts in their native English.
class InterfaceTranslations final {
public:
    InterfaceTranslations() = delete;

    static constexpr const char* EnglishFileName = "servermon_en";

    // False when the translation the language needs is not installed; the
    // texts stay Chinese then.
    static bool install(QCoreApplication& app, bool english, const QString& folder);
};
