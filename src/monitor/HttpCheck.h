#pragma once

#include "monitor/ServerRecord.h"

#include <QString>

// The HTTP(S) check of a server, as the catalogue keeps it (ServerRecord's
// url, httpMethod, httpHeaders, httpStatus, httpRedirects, jsonCondition).
struct HttpCheck {
    QString url;
    QString method;
    QString headers; // one "Name: value" per line
    QString status;  // accepted codes, "200-299,301"
    bool redirects = true;
    QString jsonCondition; // empty: none

    static HttpCheck of(const ServerRecord& record) {
        return {record.url,        record.httpMethod,    record.httpHeaders,
                record.httpStatus, record.httpRedirects, record.jsonCondition};
    }
    // Whether the URL asks for HTTPS.
    bool isSecure() const { return url.trimmed().startsWith(u"https:", Qt::CaseInsensitive); }

    friend bool operator==(const HttpCheck&, const HttpCheck&) = default;
};
