#pragma once

#include <cstdint>
#include <string>

// A non-blocking listening socket on an IPv4 loopback address and a free
// port, which is set; -1 when it cannot listen.
int listenOn(const std::string& address, uint16_t& port);

// A non-blocking socket connecting to address and port (in progress).
int connectTo(const std::string& address, uint16_t port);
