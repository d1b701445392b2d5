// The processor usage figure: the kernel's tick line, the share between two readings and a
// machine made busy by a spinning child.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "common/TempDir.h"
#include "platform/SystemLoad.h"

namespace renvo::test {
namespace {

using namespace std::chrono_literals;

TEST(SystemLoad, ReadsTheAggregateLineWithoutCountingGuestTimeTwice)
{
    TempDir tmp;
    // user nice system idle iowait irq softirq steal guest guest_nice
    const std::string stat = writeFile(tmp / "stat",
        "cpu  100 20 30 400 50 6 7 8 90 10\n"
        "cpu0 1 1 1 1 1 1 1 1 1 1\n"
        "intr 12345 0 0\n");
    CpuTimes t;
    ASSERT_TRUE(readCpuTimes(t, stat));
    EXPECT_EQ(t.busy, 171u);
    EXPECT_EQ(t.total, 621u);

    // An old kernel's line has four fields; a file may put other lines first.
    const std::string old = writeFile(tmp / "old", "btime 1\ncpu 1 2 3 4\n");
    ASSERT_TRUE(readCpuTimes(t, old));
    EXPECT_EQ(t.busy, 6u);
    EXPECT_EQ(t.total, 10u);
}

TEST(SystemLoad, MissingOrMalformedFilesAreNotRead)
{
    TempDir tmp;
    const char* const bad[] = {
        "",
        "intr 1 2 3\n",
        "cpu0 1 2 3 4 5 6 7 8\n",     // a single processor only
        "cpu 1 2 3\n",                // idle missing
        "cpu 1 2 x 4 5 6 7 8\n",
        "cpu 1 2 3 -4 5 6 7 8\n",
        "cpu 1 2 3 4x 5\n",
        "cpu 99999999999999999999999 2 3 4\n",
        "\x01\x02garbage\xff\n",
    };
    int n = 0;
    for (const char* content : bad) {
        const std::string path = writeFile(tmp / ("bad" + std::to_string(n++)), content);
        CpuTimes t{7, 9};
        EXPECT_FALSE(readCpuTimes(t, path)) << content;
        EXPECT_EQ(t.busy, 7u) << content;  // left as it was
        EXPECT_EQ(t.total, 9u) << content;
    }
    CpuTimes t;
    EXPECT_FALSE(readCpuTimes(t, tmp / "none"));
    EXPECT_FALSE(readCpuTimes(t, tmp.path()));  // a folder
}

TEST(SystemLoad, ShareBetweenReadingsIsRoundedAndClamped)
{
    EXPECT_EQ(usagePercentBetween({100, 1000}, {125, 1100}), 25);
    EXPECT_EQ(usagePercentBetween({0, 0}, {1, 3}), 33);
    EXPECT_EQ(usagePercentBetween({0, 0}, {2, 3}), 67);
    EXPECT_EQ(usagePercentBetween({0, 0}, {1, 200}), 1);    // 0.5 rounds to 1
    EXPECT_EQ(usagePercentBetween({0, 0}, {1, 1000}), 1);   // never below 1
    EXPECT_EQ(usagePercentBetween({5, 10}, {5, 20}), 1);    // all idle
    EXPECT_EQ(usagePercentBetween({5, 10}, {15, 20}), 100);
    // No tick passed, or counters went back (a fake or reset file): the unknown figure.
    EXPECT_EQ(usagePercentBetween({5, 10}, {5, 10}), kUnknownCpuUsage);
    EXPECT_EQ(usagePercentBetween({5, 10}, {6, 9}), kUnknownCpuUsage);
    EXPECT_EQ(usagePercentBetween({5, 10}, {4, 20}), kUnknownCpuUsage);
    EXPECT_EQ(kUnknownCpuUsage, 4);
}

TEST(SystemLoad, UnreadableStatisticGivesTheUnknownFigure)
{
    TempDir tmp;
    EXPECT_EQ(cpuUsagePercent(10ms, tmp / "none"), kUnknownCpuUsage);
    EXPECT_EQ(cpuUsagePercent(10ms, writeFile(tmp / "garbage", "cpu a b c d\n")), kUnknownCpuUsage);
    // A file that does not move between the two readings: no tick passed.
    EXPECT_EQ(cpuUsagePercent(10ms, writeFile(tmp / "still", "cpu 90 0 10 900 0 0 0 0\n")),
              kUnknownCpuUsage);
}

int processorCount()
{
    std::ifstream in("/proc/stat");
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        if (line.size() > 3 && line.compare(0, 3, "cpu") == 0 && line[3] >= '0' && line[3] <= '9')
            ++n;
    return n;
}

TEST(SystemLoad, SpinningChildRaisesTheFigure)
{
    CpuTimes t;
    if (!readCpuTimes(t))
        GTEST_SKIP() << "no /proc/stat";
    const int cpus = processorCount();
    if (cpus < 1 || cpus > 4)
        GTEST_SKIP() << "one spinning child says little on " << cpus << " processors";

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(20);  // never outlives a crashed test
        volatile unsigned long spin = 0;
        for (;;)
            spin = spin + 1;
    }
    const int usage = cpuUsagePercent(1000ms);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    // One of `cpus` processors fully busy is 100 / cpus; leave room for a shared machine.
    EXPECT_GE(usage, 60 / cpus);
    EXPECT_LE(usage, 100);
}

}  // namespace
}  // namespace renvo::test
