#include "PollFloor.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Exchanges under way at once at most, so the floor never runs out of
// descriptors however many rows there are.
constexpr size_t MaxOpen = 256;

int connectTo(const LoopbackServer::Endpoint& row) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(row.port);
    inet_pton(AF_INET, row.address.c_str(), &addr.sin_addr);
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    return fd;
}
} // namespace

double pollFloorMicros(const std::vector<LoopbackServer::Endpoint>& rows,
                       const std::string& request, const std::string& expected) {
    const auto started = std::chrono::steady_clock::now();
    std::vector<pollfd> fds;
    std::vector<bool> sent;
    size_t next = 0;
    size_t done = 0;
    bool allMatched = true;
    char buffer[4096];
    while (done < rows.size()) {
        // Slots of finished exchanges take the next rows.
        for (size_t i = 0; i < fds.size() && next < rows.size(); ++i) {
            if (fds[i].fd < 0) {
                fds[i] = {connectTo(rows[next++]), POLLOUT, 0};
                sent[i] = false;
            }
        }
        while (fds.size() < MaxOpen && next < rows.size()) {
            fds.push_back({connectTo(rows[next++]), POLLOUT, 0});
            sent.push_back(false);
        }
        if (poll(fds.data(), fds.size(), 5000) <= 0)
            return -1;
        for (size_t i = 0; i < fds.size(); ++i) {
            pollfd& entry = fds[i];
            if (entry.fd < 0 || entry.revents == 0)
                continue;
            if (!sent[i] && (entry.revents & POLLOUT)) {
                [[maybe_unused]] const auto written =
                    send(entry.fd, request.data(), request.size(), MSG_NOSIGNAL);
                sent[i] = true;
                entry.events = POLLIN;
            } else if (entry.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t received = read(entry.fd, buffer, sizeof buffer);
                allMatched = allMatched && received > 0 &&
                             std::string(buffer, static_cast<size_t>(received)).find(expected) !=
                                 std::string::npos;
                close(entry.fd);
                entry.fd = -1;
                ++done;
            }
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    return allMatched ? std::chrono::duration<double, std::micro>(elapsed).count() : -1;
}
