// A plain timing harness: every figure is printed beside an anchor measured in the same run,
// so the ratio means something on any machine.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// A value in kB from /proc/self/status ("VmRSS", "VmHWM"); 0 where there is none.
inline long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return 0;
}

// Median wall time of one call of work, in milliseconds, over at least minRuns runs and
// at least minMillis of total time.
inline double medianMs(const std::function<void()>& work, int minRuns = 5, double minMillis = 300)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> runs;
    double total = 0;
    while (static_cast<int>(runs.size()) < minRuns || total < minMillis) {
        const auto start = Clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        runs.push_back(ms);
        total += ms;
        if (runs.size() >= 1000)
            break;
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

// One line: the figure, its anchor and their ratio against a target ratio (0: none).
inline void report(const char* what, double ms, const char* anchorName, double anchorMs,
                   double targetRatio = 0)
{
    const double ratio = anchorMs > 0 ? ms / anchorMs : 0;
    std::printf("%-48s %9.3f ms | %-28s %9.3f ms | %6.2fx", what, ms, anchorName, anchorMs, ratio);
    if (targetRatio > 0)
        std::printf(" (target <= %.2fx%s)", targetRatio, ratio <= targetRatio ? "" : ", MISSED");
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace bench
