#pragma once

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
