#pragma once

#include "LoopbackServer.h"

#include <string>
#include <vector>

// The same exchanges as a pass's TCP leg, done by a minimal loop of
// non-blocking sockets and poll(): connect, send the request, read the first
// chunk, check it, close; a bounded number at once, so it never runs out of
// descriptors. Returns the elapsed microseconds, or -1 when a reply did not
// match.
double pollFloorMicros(const std::vector<LoopbackServer::Endpoint>& rows,
                       const std::string& request, const std::string& expected);
