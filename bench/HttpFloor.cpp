#include "HttpFloor.h"

#include "BenchFigures.h"

#include <sys/epoll.h>
#include <unistd.h>

HttpFloor::HttpFloor() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &HttpFloor::watch);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &HttpFloor::timer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

HttpFloor::~HttpFloor() {
    for (CURL* handle : m_handles)
        curl_easy_cleanup(handle);
    curl_multi_cleanup(m_multi);
    close(m_epoll);
}

int HttpFloor::watch(CURL*, curl_socket_t socket, int what, void* self, void*) {
    const int epoll = static_cast<HttpFloor*>(self)->m_epoll;
    if (what == CURL_POLL_REMOVE) {
        epoll_ctl(epoll, EPOLL_CTL_DEL, socket, nullptr);
        return 0;
    }
    epoll_event event{};
    event.events = (what & CURL_POLL_IN ? EPOLLIN : 0u) | (what & CURL_POLL_OUT ? EPOLLOUT : 0u);
    event.data.fd = socket;
    if (epoll_ctl(epoll, EPOLL_CTL_MOD, socket, &event) != 0)
        epoll_ctl(epoll, EPOLL_CTL_ADD, socket, &event);
    return 0;
}

int HttpFloor::timer(CURLM*, long timeoutMs, void* self) {
    static_cast<HttpFloor*>(self)->m_timeoutMs = timeoutMs;
    return 0;
}

size_t HttpFloor::keep(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

double HttpFloor::cpuMicros(const std::vector<std::string>& urls, const std::string& expected) {
    while (m_handles.size() < urls.size())
        m_handles.push_back(curl_easy_init());
    m_bodies.assign(urls.size(), std::string());
    const double started = processCpuMicros();
    for (size_t i = 0; i < urls.size(); ++i) {
        CURL* handle = m_handles[i];
        curl_easy_reset(handle);
        curl_easy_setopt(handle, CURLOPT_URL, urls[i].c_str());
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
        curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, 30000L);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &HttpFloor::keep);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &m_bodies[i]);
        curl_multi_add_handle(m_multi, handle);
    }
    int running = 1;
    curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
    epoll_event events[256];
    while (running > 0) {
        const int count =
            epoll_wait(m_epoll, events, 256, m_timeoutMs < 0 ? 1000 : int(m_timeoutMs));
        if (count <= 0) {
            curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
            continue;
        }
        for (int i = 0; i < count; ++i) {
            const int mask =
                (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR) ? CURL_CSELECT_IN : 0) |
                (events[i].events & EPOLLOUT ? CURL_CSELECT_OUT : 0);
            curl_multi_socket_action(m_multi, events[i].data.fd, mask, &running);
        }
    }
    bool correct = true;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        long status = 0;
        curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
        correct = correct && message->data.result == CURLE_OK && status == 200;
    }
    for (size_t i = 0; i < urls.size(); ++i) {
        curl_multi_remove_handle(m_multi, m_handles[i]);
        correct = correct && m_bodies[i].find(expected) != std::string::npos;
    }
    const double used = processCpuMicros() - started;
    return correct ? used : -1;
}
