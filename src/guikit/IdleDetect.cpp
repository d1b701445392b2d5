#include "guikit/IdleDetect.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "platform/SystemLoad.h"

namespace renvo {

namespace {

// Marks a measurement for its whole scope, also when an event handler throws through it.
class MeasuringScope {
public:
    explicit MeasuringScope(int& depth) : depth_(depth) { ++depth_; }
    ~MeasuringScope() { --depth_; }
    MeasuringScope(const MeasuringScope&) = delete;
    MeasuringScope& operator=(const MeasuringScope&) = delete;

private:
    int& depth_;
};

}  // namespace

__attribute__((noinline)) void rlfBusyLoop()
{
    volatile int outer = 1001;
    while (outer > 0) {
        volatile int inner = 10001;
        while (inner > 0)
            inner = inner - 1;
        outer = outer - 1;
    }
}

IdleDetector::IdleDetector() : processEvents([] { QCoreApplication::processEvents(); }) {}

bool IdleDetector::idleTest(uint8_t idleMode, int32_t threshold)
{
    if (measuring())
        return false;
    if (idleMode == 0)
        return true;
    MeasuringScope scope(depth_);
    if (idleMode == 1)
        return cpuUsage() < threshold;
    return measureRLF() < threshold;
}

int32_t IdleDetector::cpuUsage()
{
    return cpuUsagePercent(cpuWindow, statPath);
}

int32_t IdleDetector::measureRLF()
{
    MeasuringScope scope(depth_);
    rlfBusyLoop();  // warm-up: caches, frequency scaling
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 3; ++round) {
        if (processEvents)
            processEvents();
        rlfBusyLoop();
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return static_cast<int32_t>(std::min<std::chrono::milliseconds::rep>(elapsed.count(), INT32_MAX));
}

}  // namespace renvo
