#pragma once
// What the benchmarks share: warm memory before copies are timed, say how busy the machine
// was, and take medians.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace renvo::bench {

// Memory the virtual machine handed back is slow to touch again: the first copies would pay
// for it instead of the program measured. Written once and freed.
inline void warmMemory(long mib)
{
    const size_t size = static_cast<size_t>(mib) << 20;
    const std::unique_ptr<volatile char[]> block(new volatile char[size]);
    for (size_t i = 0; i < size; i += 4096)
        block[i] = 1;  // one write per page makes the kernel back it
}

// Other work on the machine lengthens every run: the three load averages.
inline std::string loadAverage()
{
    std::string text;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        char buf[128] = {};
        if (std::fgets(buf, sizeof buf, f))
            text = buf;
        std::fclose(f);
    }
    const size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return text.substr(0, cut);
}

// The middle value (the mean of the two middle ones for an even count); v not empty.
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace renvo::bench
