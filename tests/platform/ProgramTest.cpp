#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Program.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

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
