#pragma once

#include <QtGlobal>

#include <functional>

// Turns the event loop until done() holds or timeoutMs have passed, sleeping
// until events arrive as the program's own loop does: a loop that polled
// without sleeping would charge its spinning to the CPU time measured and
// take the core from the loopback servers. Returns done().
bool waitUntil(const std::function<bool()>& done, qint64 timeoutMs);
