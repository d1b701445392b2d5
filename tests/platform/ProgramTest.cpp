#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Program.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>

namespace renvo::test {
namespace {

class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* v = std::getenv("RENVO_HOME"))
            saved_ = v;
    }
    void TearDown() override
    {
        if (saved_)
            ::setenv("RENVO_HOME", saved_->c_str(), 1);
        else
            ::unsetenv("RENVO_HOME");
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(ProgramFolder, RenvoHomeNamesItWithATrailingSlash)
{
    ::setenv("RENVO_HOME", "/srv/renvo", 1);
    EXPECT_EQ(programFolder(), "/srv/renvo/");
    ::setenv("RENVO_HOME", "/srv/renvo/", 1);
    EXPECT_EQ(programFolder(), "/srv/renvo/");
}

TEST_F(ProgramFolder, OtherwiseTheFolderOfTheRunningProgram)
{
    for (bool empty : {false, true}) {
        if (empty)
            ::setenv("RENVO_HOME", "", 1);
        else
            ::unsetenv("RENVO_HOME");
        const std::string folder = programFolder();
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.front(), '/');
        EXPECT_EQ(folder.back(), '/');
        EXPECT_TRUE(fileExists(folder + program_invocation_short_name)) << folder;
    }
}

// Nice value and policy of a fresh thread after applyTaskPriority(value).
std::pair<int, int> priorityAfter(int value)
{
    std::pair<int, int> seen{};
    std::thread([&] {
        applyTaskPriority(value);
        errno = 0;
        seen = {::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), ::sched_getscheduler(0)};
    }).join();
    return seen;
}

TEST(TaskPriority, MapsToNiceValuesAndIdleForTheCallingThreadOnly)
{
    const int own = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    EXPECT_EQ(priorityAfter(3), std::make_pair(5, SCHED_OTHER));
    EXPECT_EQ(priorityAfter(4), std::make_pair(10, SCHED_OTHER));
    EXPECT_EQ(priorityAfter(5).second, SCHED_IDLE);
    EXPECT_EQ(priorityAfter(2), std::make_pair(own, SCHED_OTHER));
    EXPECT_EQ(priorityAfter(6), std::make_pair(own, SCHED_OTHER));
    EXPECT_EQ(priorityAfter(-1), std::make_pair(own, SCHED_OTHER));
    // Raising needs the right to; without it the thread keeps its value, and no error.
    const int raised = priorityAfter(0).first;
    if (::geteuid() == 0)
        EXPECT_EQ(raised, -10);
    else
        EXPECT_TRUE(raised == -10 || raised == own) << raised;
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), own);
    EXPECT_EQ(::sched_getscheduler(0), SCHED_OTHER);
}

TEST(OpenRetry, ExclusiveOpenRefusedWhileLocked)
{
    TempDir dir;
    const std::string p = dir / "_rvffl2";
    const int first = openRetry(p, O_RDWR | O_CREAT, 0644, true);
    ASSERT_GE(first, 0);
    FdGuard holder(first);

    errno = 0;
    EXPECT_EQ(openRetry(p, O_RDWR, 0644, true), -1);
    EXPECT_EQ(errno, EBUSY);
    // A plain open does not ask for the lock.
    FdGuard plain(openRetry(p, O_RDONLY));
    EXPECT_GE(plain.get(), 0);

    holder.reset();
    FdGuard second(openRetry(p, O_RDWR, 0644, true));
    EXPECT_GE(second.get(), 0);
}

TEST(OpenRetry, MissingFileFailsWithItsErrno)
{
    TempDir dir;
    errno = 0;
    EXPECT_EQ(openRetry(dir / "missing", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(pathExists(dir / "missing"));
}

}  // namespace
}  // namespace renvo::test
