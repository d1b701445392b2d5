#include "platform/SystemLoad.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <thread>

namespace renvo {

namespace {

bool parseCpuLine(const std::string& line, CpuTimes& out)
{
    // "cpu" followed by blanks; "cpu0" and the like are single processors.
    if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 || (line[3] != ' ' && line[3] != '\t'))
        return false;
    enum { User, Nice, System, Idle, IoWait, Irq, SoftIrq, Steal, Counted };
    std::array<uint64_t, Counted> v{};
    size_t fields = 0;
    const char* p = line.data() + 3;
    const char* const end = line.data() + line.size();
    while (true) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
            ++p;
        if (p == end)
            break;
        uint64_t n = 0;
        const auto [next, ec] = std::from_chars(p, end, n);
        if (ec != std::errc() || (next < end && *next != ' ' && *next != '\t' && *next != '\r'))
            return false;
        if (fields < Counted)
            v[fields] = n;  // guest and guest_nice follow; they are inside user and nice
        ++fields;
        p = next;
    }
    if (fields < Idle + 1)
        return false;
    const uint64_t idle = v[Idle] + v[IoWait];
    const uint64_t busy = v[User] + v[Nice] + v[System] + v[Irq] + v[SoftIrq] + v[Steal];
    out.busy = busy;
    out.total = busy + idle;
    return true;
}

}  // namespace

bool readCpuTimes(CpuTimes& out, const std::string& statPath)
{
    std::ifstream in(statPath);
    if (!in)
        return false;
    std::string line;
    // The aggregate line comes first in the kernel's file; look a little further for safety.
    for (int i = 0; i < 64 && std::getline(in, line); ++i) {
        if (line.compare(0, 4, "cpu ") == 0 || line.compare(0, 4, "cpu\t") == 0)
            return parseCpuLine(line, out);
    }
    return false;
}

int usagePercentBetween(const CpuTimes& before, const CpuTimes& after)
{
    if (after.total <= before.total || after.busy < before.busy)
        return kUnknownCpuUsage;
    const uint64_t total = after.total - before.total;
    const uint64_t busy = after.busy - before.busy;
    if (busy >= total)
        return 100;
    const int percent = static_cast<int>(std::lround(100.0 * static_cast<double>(busy) / static_cast<double>(total)));
    return percent < 1 ? 1 : percent > 100 ? 100 : percent;
}

int cpuUsagePercent(std::chrono::milliseconds window, const std::string& statPath)
{
    CpuTimes before;
    if (!readCpuTimes(before, statPath))
        return kUnknownCpuUsage;
    std::this_thread::sleep_for(window);
    CpuTimes after;
    if (!readCpuTimes(after, statPath))
        return kUnknownCpuUsage;
    return usagePercentBetween(before, after);
}

}  // namespace renvo
