#pragma once

#include "LoopbackServer.h"

#include <string>
#include <vector>

// The same exchanges as a pass's TCP leg, done by a minimal loop of
// non-blocking sockets and poll(): connect, send the request, read the first
// chunk, check it, close; a bounded number at once, so it never runs out of
// descriptors.
struct FloorTime {
    double wallMicros = -1; // -1 when a reply did not match
    double cpuMicros = -1;  // of the calling thread
};
FloorTime pollFloor(const std::vector<LoopbackServer::Endpoint>& rows, const std::string& request,
                    const std::string& expected);
