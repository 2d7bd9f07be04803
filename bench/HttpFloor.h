#pragma once

#include <curl/curl.h>

#include <string>
#include <vector>

// The floor of the HTTP benchmark: the least a libcurl client can do for the
// same requests. One easy handle per URL, all in one multi handle driven
// through its socket interface by an epoll loop (curl_multi_perform would
// walk every transfer on every wake-up), each request on a fresh connection
// as the check makes it; the handles are kept between rounds, as the check
// keeps its own.
class HttpFloor final {
public:
    HttpFloor();
    ~HttpFloor();
    HttpFloor(const HttpFloor&) = delete;
    HttpFloor& operator=(const HttpFloor&) = delete;

    // Fetches every URL once, all at once; the CPU time the process used for
    // it in microseconds, or -1 when a reply was not a 200 whose body holds
    // expected.
    double cpuMicros(const std::vector<std::string>& urls, const std::string& expected);

private:
    static size_t keep(char* data, size_t size, size_t count, void* body);
    static int watch(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
    static int timer(CURLM* multi, long timeoutMs, void* self);

    CURLM* m_multi = nullptr;
    int m_epoll = -1;
    long m_timeoutMs = -1;
    std::vector<CURL*> m_handles;
    std::vector<std::string> m_bodies;
};
