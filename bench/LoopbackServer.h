#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// A small HTTP-like server on several loopback addresses and ports, driven by
// one epoll thread: every connection that sends something gets a short
// "HTTP/1.0 200 OK" reply and is closed. The addresses are prefix + 1, 2, ...
class LoopbackServer final {
public:
    struct Endpoint {
        std::string address;
        uint16_t port;
    };

    LoopbackServer(int addressCount, int portsPerAddress, const std::string& prefix = "127.0.0.");
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    const std::vector<Endpoint>& endpoints() const { return m_endpoints; }
    static const char* reply();

private:
    void run();

    std::vector<Endpoint> m_endpoints;
    std::vector<int> m_listeners;
    int m_epoll = -1;
    int m_wake = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
