// The attempts at the program's own files: failures that may pass are tried again, the others
// end at once.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/TempDir.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"

namespace renvo::test {
namespace {

TEST(Retry, BusyIsTriedEveryTimeAndAPermanentErrorOnce)
{
    int calls = 0;
    EXPECT_EQ(retryAttempts([&] { ++calls; return EBUSY; }), EBUSY);
    EXPECT_EQ(calls, kOpenAttempts);

    calls = 0;
    EXPECT_EQ(retryAttempts([&] { ++calls; return calls < 3 ? EINTR : 0; }), 0);
    EXPECT_EQ(calls, 3);

    for (int err : {ENAMETOOLONG, ENOENT, EACCES, ENOTDIR, EISDIR, ENOSPC}) {
        calls = 0;
        EXPECT_EQ(retryAttempts([&] { ++calls; return err; }), err);
        EXPECT_EQ(calls, 1) << errorText(err);
    }
}

TEST(Retry, OverlongPathFailsWithItsOwnError)
{
    TempDir tmp;
    const std::string longPath = tmp / std::string(300, 'n');
    int calls = 0;
    EXPECT_EQ(retryAttempts([&] { ++calls; return writeFileAtomic(longPath, "x").error(); }), ENAMETOOLONG);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace renvo::test
