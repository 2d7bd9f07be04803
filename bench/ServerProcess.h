#pragma once

#include "LoopbackServer.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// A loopback server of a benchmark in a process of its own, so none of its
// work counts as the client's. serve runs in the child, at the lowest
// priority: it starts serving, tells the endpoints it listens on through
// announce, and returns; the child then lives until the object ends (or the
// benchmark's process). Must be made before the process starts any thread.
class ServerProcess final {
public:
    using Announce = std::function<void(const LoopbackServer::Endpoint&)>;

    // expected: the endpoints serve announces; fewer leave endpoints() empty.
    ServerProcess(const std::function<bool(const Announce& announce)>& serve, size_t expected);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Empty when the server could not start.
    const std::vector<LoopbackServer::Endpoint>& endpoints() const { return m_endpoints; }
    // The CPU time the server's process has used so far, in microseconds
    // (in clock ticks' steps); -1 when it cannot be read.
    double cpuMicros() const;

private:
    std::vector<LoopbackServer::Endpoint> m_endpoints;
    pid_t m_child = -1;
    int m_lifeline = -1; // closing it ends the server
};
