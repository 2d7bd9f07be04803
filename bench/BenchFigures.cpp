#include "BenchFigures.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

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

double processCpuMicros(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (pid <= 0 || !std::getline(stat, line))
        return -1;
    // The fields after the command's closing parenthesis, from the state on:
    // user and system time are the 12th and 13th of them.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i >= 12)
            ticks += std::stod(field);
    }
    return ticks * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}
