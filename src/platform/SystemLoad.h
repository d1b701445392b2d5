#pragma once
// The processor usage figure the idle test compares with its threshold, read from the
// kernel's tick counters.

#include <chrono>
#include <cstdint>
#include <string>

namespace renvo {

// Ticks of all processors since boot: busy ones and all of them.
struct CpuTimes {
    uint64_t busy = 0;
    uint64_t total = 0;
};

// The usage figure where none can be read: what the program has always shown where the
// statistic does not exist.
constexpr int kUnknownCpuUsage = 4;

// Reads the aggregate "cpu " line: user nice system idle iowait irq softirq steal. Guest
// time is already inside user and nice and is not added again; idle and iowait are idle.
// Fields a kernel does not have count as 0, but user, nice, system and idle must be there.
// False for a missing file or a malformed line.
bool readCpuTimes(CpuTimes& out, const std::string& statPath = "/proc/stat");

// The busy share between two readings in percent, rounded and clamped to 1..100;
// kUnknownCpuUsage when no tick passed or the counters went back.
int usagePercentBetween(const CpuTimes& before, const CpuTimes& after);

// Samples twice, window apart: 1..100, or kUnknownCpuUsage when the figure cannot be read.
int cpuUsagePercent(std::chrono::milliseconds window, const std::string& statPath = "/proc/stat");

}  // namespace renvo
