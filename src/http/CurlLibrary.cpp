#include "http/CurlLibrary.h"

#include <curl/curl.h>

#include <mutex>

void CurlLibrary::initialize() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
