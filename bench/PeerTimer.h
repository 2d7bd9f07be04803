#pragma once

#include <string>
#include <vector>

// Times a process-per-check peer tool: runs the command lines one after
// another and returns the mean microseconds per run, or -1 when the tool
// is missing or a run failed.
double meanMicrosPerRun(const std::vector<std::vector<std::string>>& commands);

// Runs one command line and returns its wall-clock milliseconds whatever its
// exit status, or -1 when it could not be started.
double wallMillisOfRun(const std::vector<std::string>& command);
