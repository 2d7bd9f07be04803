#pragma once

#include <QString>

// Translations of the fixed texts that every row shows, made once and
// shared by all rows instead of one copy each: a list of a hundred thousand
// rows holds each text once. They are made afresh after the language changes.
// For the thread that runs the monitor only.
namespace SharedTranslations {
// source must be a string literal (marked with QT_TRANSLATE_NOOP).
const QString& text(const char* context, const char* source);
} // namespace SharedTranslations
