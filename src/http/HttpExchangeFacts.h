#pragma once

#include "http/HttpResult.h"
#include "http/HttpTimings.h"

// What a server's row keeps of its last HTTP exchange for the metrics and
// the details: a few numbers, never the reply.
struct HttpExchangeFacts {
    int statusCode = 0; // 0 without a reply
    int redirects = 0;
    HttpTimings timings;

    static HttpExchangeFacts of(const HttpResult& result) {
        return {result.statusCode, result.redirects, result.timings};
    }
};
