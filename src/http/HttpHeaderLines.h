#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The request headers of an HTTP(S) check, one "Name: value" per line.
namespace HttpHeaderLines {

// Blank lines are skipped; a line without a colon or with an empty/invalid name refuses the text.
// A name is an HTTP token (letters, digits and !#$%&'*+-.^_`|~); the value
// may hold no control character but a tab. Each header comes out as
// "Name: value" in UTF-8, blanks around the name and value removed; an empty
// value gives "Name:". The reason names the line, counted from 1.
std::optional<QList<QByteArray>> parse(const QString& text, QString* reason = nullptr);

} // namespace HttpHeaderLines
