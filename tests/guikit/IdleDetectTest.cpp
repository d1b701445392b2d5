// The idle test before a due run: its modes, its strict thresholds, what the load figure
// takes in, and that a measurement refuses to be entered again from an event inside it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaObject>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "guikit/IdleDetect.h"

namespace renvo::test {
namespace {

using namespace std::chrono_literals;

std::string statLine(uint64_t busy, uint64_t idle)
{
    // Busy ticks spread over user, system and softirq; guest ticks are inside user.
    const uint64_t user = busy / 2, system = busy / 4, softirq = busy - user - system;
    return "cpu  " + std::to_string(user) + " 0 " + std::to_string(system) + " " + std::to_string(idle) +
           " 0 0 " + std::to_string(softirq) + " 0 " + std::to_string(user / 2) + " 0\n";
}

TEST(IdleDetect, ModeZeroIsIdleWithoutMeasuring)
{
    IdleDetector idle;
    int calls = 0;
    idle.processEvents = [&] { ++calls; };
    idle.statPath = "/nonexistent/stat";
    EXPECT_TRUE(idle.idleTest(0, 0));
    EXPECT_TRUE(idle.idleTest(0, -1));
    EXPECT_TRUE(idle.idleTest(0, 50));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(idle.measuring());
}

TEST(IdleDetect, UsageModeComparesStrictlyWithTheThreshold)
{
    TempDir tmp;
    IdleDetector idle;
    int calls = 0;
    idle.processEvents = [&] { ++calls; };
    idle.cpuWindow = 1ms;
    // A statistic whose counters do not move between the two readings: no tick passed, so
    // there is no figure, and the program's figure for that is 4.
    writeFile(tmp / "stat", statLine(1000, 9000));
    idle.statPath = tmp / "stat";
    EXPECT_EQ(idle.cpuUsage(), 4);
    EXPECT_FALSE(idle.idleTest(1, 4));  // equal is not below
    EXPECT_TRUE(idle.idleTest(1, 5));
    // Where the statistic cannot be read the figure is 4.
    idle.statPath = tmp / "none";
    EXPECT_EQ(idle.cpuUsage(), 4);
    EXPECT_FALSE(idle.idleTest(1, 4));
    EXPECT_TRUE(idle.idleTest(1, 5));
    EXPECT_FALSE(idle.idleTest(1, 0));
    EXPECT_FALSE(idle.idleTest(1, -7));
    // The real statistic never gives less than 1, so threshold 0 never passes either.
    idle.statPath = "/proc/stat";
    EXPECT_FALSE(idle.idleTest(1, 0));
    EXPECT_EQ(calls, 0);  // the usage figure processes no events
}

TEST(IdleDetect, LoadFigureRunsThreeRoundsAndCountsTheirEvents)
{
    IdleDetector idle;
    int calls = 0;
    bool measuringInside = false;
    idle.processEvents = [&] {
        ++calls;
        measuringInside = idle.measuring();
        std::this_thread::sleep_for(100ms);
    };
    const int32_t rlf = idle.measureRLF();
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(measuringInside);
    EXPECT_FALSE(idle.measuring());
    EXPECT_GE(rlf, 300);  // the rounds' events are part of the figure

    // Any other mode than 0 and 1 is the load figure; the comparison is strict.
    calls = 0;
    EXPECT_FALSE(idle.idleTest(2, 300));
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(idle.idleTest(255, 0));
    EXPECT_FALSE(idle.idleTest(7, -1));
    EXPECT_EQ(calls, 9);
    EXPECT_TRUE(idle.idleTest(2, INT32_MAX));
    EXPECT_EQ(calls, 12);
}

TEST(IdleDetect, LoadFigureProcessesTheApplicationsEvents)
{
    IdleDetector idle;  // the default rounds run the application's event loop
    bool delivered = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { delivered = true; }, Qt::QueuedConnection);
    EXPECT_GE(idle.measureRLF(), 0);
    EXPECT_TRUE(delivered);
}

TEST(IdleDetect, EventInsideAMeasurementCannotStartAnother)
{
    IdleDetector idle;
    int calls = 0;
    std::vector<bool> nested;
    idle.processEvents = [&] {
        ++calls;
        // The main form's tick, run from an event of the measurement.
        nested.push_back(idle.idleTest(0, 100));
        nested.push_back(idle.idleTest(1, 101));
        nested.push_back(idle.idleTest(2, INT32_MAX));
    };
    EXPECT_TRUE(idle.idleTest(2, INT32_MAX));
    EXPECT_EQ(calls, 3);  // none of the nested tests measured
    EXPECT_EQ(nested, std::vector<bool>(9, false));
    EXPECT_FALSE(idle.measuring());

    // Once it is over, tests run again.
    EXPECT_TRUE(idle.idleTest(0, 0));
    idle.processEvents = [&] { ++calls; };
    EXPECT_TRUE(idle.idleTest(2, INT32_MAX));
    EXPECT_EQ(calls, 6);
}

TEST(IdleDetect, SpinningChildMakesTheMachineBusy)
{
    std::ifstream in("/proc/stat");
    std::string line;
    int cpus = 0;
    while (std::getline(in, line))
        cpus += line.size() > 3 && line.compare(0, 3, "cpu") == 0 && line[3] >= '0' && line[3] <= '9';
    if (cpus < 1 || cpus > 4)
        GTEST_SKIP() << "one spinning child says little on " << cpus << " processors";

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(20);
        volatile unsigned long spin = 0;
        for (;;)
            spin = spin + 1;
    }
    IdleDetector idle;
    idle.cpuWindow = 1000ms;
    const bool idleNow = idle.idleTest(1, 60 / cpus);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(idleNow);
}

}  // namespace
}  // namespace renvo::test
