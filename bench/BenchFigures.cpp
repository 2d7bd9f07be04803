#include "BenchFigures.h"

#include <algorithm>
#include <ctime>

Spread spreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    spread.median = values[n / 2];
    spread.iqr = values[std::min((3 * n) / 4, n - 1)] - values[n / 4];
    spread.worst = values.back();
    return spread;
}

namespace {
double cpuMicros(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}
} // namespace

double processCpuMicros() {
    return cpuMicros(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpuMicros() {
    return cpuMicros(CLOCK_THREAD_CPUTIME_ID);
}
