#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The request methods an HTTP(S) check may use.
namespace HttpMethod {

// Every method, in the order the dialogs offer them.
const QStringList& All();
// "GET", "HEAD", "POST", "PUT" (any case in, upper case out); nothing otherwise.
std::optional<QString> parse(const QString& text);

} // namespace HttpMethod
