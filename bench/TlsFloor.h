#pragma once

#include "LoopbackServer.h"

#include <openssl/types.h>

#include <string>
#include <vector>

// The same exchanges as a TLS pass, done by a minimal OpenSSL client loop:
// non-blocking sockets and poll(), OpenSSL on each socket (SSL_set_fd),
// the handshake with SNI and the same trust and host-name check, the
// request, the first reply checked, close; a bounded number at once.
class TlsFloor final {
public:
    // caFile is trusted besides the system's certificate folder, as the
    // probes trust it; serverName is sent and checked.
    TlsFloor(const std::string& caFile, std::string serverName);
    ~TlsFloor();
    TlsFloor(const TlsFloor&) = delete;
    TlsFloor& operator=(const TlsFloor&) = delete;

    // The process CPU microseconds of one round over rows, or -1 when a
    // certificate or a reply did not pass.
    double cpuMicros(const std::vector<LoopbackServer::Endpoint>& rows, const std::string& request,
                     const std::string& expected);

private:
    SSL_CTX* m_context = nullptr;
    std::string m_serverName;
};
