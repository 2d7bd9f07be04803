#pragma once

#include <sys/types.h>
#include <vector>

// The median, the interquartile range and the largest of a series of runs.
struct Spread {
    double median = -1;
    double iqr = 0;
    double worst = 0;
};

Spread spreadOf(std::vector<double> values);

// The CPU time this process, or only the calling thread, has used so far,
// in microseconds.
double processCpuMicros();
double threadCpuMicros();
// The CPU time another process has used so far, in microseconds (in clock
// ticks' steps); -1 when it cannot be read.
double processCpuMicros(pid_t pid);
