#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Header values of a mail or an HTTP request that may carry any text.
namespace MimeWords {

// The text as a header value: line breaks and other control characters
// become spaces, so a value never ends its header; printable ASCII of up to
// 900 characters stays as it is, and any other text becomes UTF-8 encoded
// words ("=?UTF-8?B?…?=", RFC 2047) of at most 75 characters each, never
// splitting a character, joined by separator.
QByteArray encode(const QString& text, QByteArrayView separator);

} // namespace MimeWords
