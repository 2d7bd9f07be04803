#include "PollFloor.h"
#include "BenchFigures.h"
#include "LoopbackSockets.h"

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
} // namespace

FloorTime pollFloor(const std::vector<LoopbackServer::Endpoint>& rows, const std::string& request,
                    const std::string& expected) {
    const auto started = std::chrono::steady_clock::now();
    const double cpuStarted = threadCpuMicros();
    std::vector<pollfd> fds;
    std::vector<bool> sent;
    size_t next = 0;
    size_t done = 0;
    bool allMatched = true;
    char buffer[4096];
    const auto openNext = [&] {
        const LoopbackServer::Endpoint& row = rows[next++];
        return connectTo(row.address, row.port);
    };
    while (done < rows.size()) {
        // Slots of finished exchanges take the next rows.
        for (size_t i = 0; i < fds.size() && next < rows.size(); ++i) {
            if (fds[i].fd < 0) {
                fds[i] = {openNext(), POLLOUT, 0};
                sent[i] = false;
            }
        }
        while (fds.size() < MaxOpen && next < rows.size()) {
            fds.push_back({openNext(), POLLOUT, 0});
            sent.push_back(false);
        }
        if (poll(fds.data(), fds.size(), 5000) <= 0)
            return {};
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
    if (!allMatched)
        return {};
    const auto elapsed = std::chrono::steady_clock::now() - started;
    return {std::chrono::duration<double, std::micro>(elapsed).count(),
            threadCpuMicros() - cpuStarted};
}
