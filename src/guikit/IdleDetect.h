#pragma once
// The idle test the scheduler asks before a due run: never (always idle), the processor usage
// figure, or the program's own load figure (RLF) - the time a fixed busy loop takes while the
// application keeps processing its events.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace renvo {

// The fixed busy loop of the load figure: 1001 rounds of a 10001-step count-down, on
// volatile counters so the optimiser keeps it, touching no other memory. Not inlined, so
// every build measures the same code.
void rlfBusyLoop();

class IdleDetector {
public:
    IdleDetector();

    // Mode 0: idle without measuring. Mode 1: cpuUsage() < threshold. Any other mode:
    // measureRLF() < threshold. The comparison is strict, so threshold 0 never passes.
    // While a measurement runs (an event processed inside it called back here) the call is
    // refused: false at once, whatever the mode, so a run never starts nested in a measurement.
    bool idleTest(uint8_t idleMode, int32_t threshold);

    // The processor usage in percent over cpuWindow: 1..100, or 4 where it cannot be read.
    int32_t cpuUsage();

    // The load figure in milliseconds: the busy loop once to warm up, a 200 ms pause, then
    // three rounds of processing pending events and running the loop, timed together on the
    // steady clock. Events processed in between are part of the figure.
    int32_t measureRLF();

    // True while idleTest or measureRLF runs.
    bool measuring() const { return depth_ > 0; }

    // What a round runs before the loop; QCoreApplication::processEvents() unless replaced.
    std::function<void()> processEvents;
    // The usage sample's window and the kernel statistic it reads.
    std::chrono::milliseconds cpuWindow{250};
    std::string statPath = "/proc/stat";

private:
    int depth_ = 0;
};

}  // namespace renvo
