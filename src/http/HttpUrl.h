#pragma once

#include <QString>

#include <optional>

// An HTTP(S) check's URL, as the operator types it: http:// or https://, a
// host name or an IPv4 or bracketed IPv6 address, an optional port, then
// the path and query. A fragment ("#...") is never sent and is dropped.
struct HttpUrl {
    QString scheme;       // "http" or "https"
    QString host;         // host name, IPv4 literal, or IPv6 literal WITHOUT brackets
    quint16 port = 0;     // the effective port: given, else 80/443
    QString pathAndQuery; // "/" when none given

    // Nothing and a Chinese reason when the text is no usable URL: no scheme or
    // another scheme, no host, port outside 1-65535, user:password@ present.
    // Blanks around the text are ignored; blanks or control characters inside
    // it, and a host that is neither a name nor an address, are refused too.
    static std::optional<HttpUrl> parse(const QString& text, QString* reason = nullptr);
};
