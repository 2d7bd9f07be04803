#pragma once

#include "LoopbackServer.h"
#include "ServerProcess.h"

#include <string>
#include <vector>

// A TLS server on loopback for the TLS benchmark, in a process of its own so
// none of its work counts as the client's: a few threads, each with an
// epoll loop of non-blocking OpenSSL connections listening on addresses
// 127.0.0.1 up to 127.0.0.<addressCount>. Every connection that completes
// the handshake and sends a request gets LoopbackServer::reply() and is
// closed once the client closes. Must be made before the process starts any
// thread; the server ends with the object (or the benchmark's process).
class TlsLoopbackServer final {
public:
    // certificateChain and key are PEM files: the leaf first.
    TlsLoopbackServer(const std::string& certificateChain, const std::string& key, int threads,
                      int addressCount);
    TlsLoopbackServer(const TlsLoopbackServer&) = delete;
    TlsLoopbackServer& operator=(const TlsLoopbackServer&) = delete;

    // Empty when the server could not start.
    const std::vector<LoopbackServer::Endpoint>& endpoints() const { return m_process.endpoints(); }
    // The CPU time the server's process has used so far, in microseconds
    // (in clock ticks' steps); -1 when it cannot be read.
    double cpuMicros() const { return m_process.cpuMicros(); }

private:
    ServerProcess m_process;
};
