#include "LoopbackServer.h"
#include "LoopbackSockets.h"

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_set>

const char* LoopbackServer::reply() {
    return "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nOK";
}

LoopbackServer::LoopbackServer(int addressCount, int portsPerAddress, const std::string& prefix) {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = m_wake;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &wake);
    for (int a = 1; a <= addressCount; ++a) {
        const std::string address = prefix + std::to_string(a);
        for (int p = 0; p < portsPerAddress; ++p) {
            uint16_t port = 0;
            const int fd = listenOn(address, port);
            if (fd < 0)
                throw std::runtime_error("cannot listen on " + address);
            m_listeners.push_back(fd);
            m_endpoints.push_back({address, port});
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.fd = fd;
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        }
    }
    m_thread = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
    m_stop = true;
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = write(m_wake, &one, sizeof one);
    m_thread.join();
    for (const int fd : m_listeners)
        close(fd);
    close(m_wake);
    close(m_epoll);
}

void LoopbackServer::run() {
    const std::unordered_set<int> listeners(m_listeners.begin(), m_listeners.end());
    const size_t replyLength = std::strlen(reply());
    std::vector<epoll_event> events(256);
    char buffer[4096];
    while (!m_stop) {
        const int count = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 100);
        for (int i = 0; i < count; ++i) {
            const int fd = events[static_cast<size_t>(i)].data.fd;
            if (fd == m_wake)
                continue;
            if (listeners.count(fd) != 0) {
                while (true) {
                    const int client = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (client < 0)
                        break;
                    epoll_event event{};
                    event.events = EPOLLIN | EPOLLRDHUP;
                    event.data.fd = client;
                    epoll_ctl(m_epoll, EPOLL_CTL_ADD, client, &event);
                }
                continue;
            }
            const ssize_t received = read(fd, buffer, sizeof buffer);
            if (received > 0) [[maybe_unused]]
                const auto sent = send(fd, reply(), replyLength, MSG_NOSIGNAL);
            if (received != -1 || errno != EAGAIN) {
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
                close(fd);
            }
        }
    }
}
