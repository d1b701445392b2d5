#include "platform/FileLock.h"
#include "platform/OpenRetry.h"

#include "common/Privileges.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace renvo::test {
namespace {

// Whether the kernel lists a process blocked waiting for a flock on this file.
bool someoneWaitsFor(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("-> FLOCK") != std::string::npos && line.find(inode) != std::string::npos)
            return true;
    }
    return false;
}

TEST(FileLock, WithoutWaitingALockHeldElsewhereIsBusy)
{
    TempDir dir;
    const std::string p = dir / "x.lock";
    FdGuard first(openLockFile(p, 0600));
    FdGuard second(openLockFile(p, 0600));
    ASSERT_GE(first.get(), 0);
    ASSERT_GE(second.get(), 0);
    EXPECT_EQ(lockFile(first.get(), false), 0);
    EXPECT_EQ(lockFile(first.get(), false), 0);  // the holder may ask again
    EXPECT_EQ(lockFile(second.get(), false), EWOULDBLOCK);
    first.reset();  // the last descriptor of the holder closes: the lock is free
    EXPECT_EQ(lockFile(second.get(), false), 0);
    EXPECT_EQ(lockFile(-1, false), EBADF);
}

TEST(FileLock, WaitingReturnsOnceTheHolderLetsGo)
{
    TempDir dir;
    const std::string p = dir / "x.lock";
    FdGuard holder(openLockFile(p, 0600));
    FdGuard waiter(openLockFile(p, 0600));
    ASSERT_EQ(lockFile(holder.get(), false), 0);

    std::atomic<bool> returned{false};
    int result = -1;
    std::thread t([&] {
        result = lockFile(waiter.get(), true);
        returned = true;
    });
    // The kernel lists the waiter as blocked on the lock before it is let go.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!someoneWaitsFor(p) && !returned && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(someoneWaitsFor(p));
    EXPECT_FALSE(returned);
    holder.reset();
    t.join();
    EXPECT_EQ(result, 0);
    FdGuard third(openLockFile(p, 0600));
    EXPECT_EQ(lockFile(third.get(), false), EWOULDBLOCK);  // the waiter holds it now
}

TEST(FileLock, LockFileIsMadeWithItsModeAndOpenedReadOnlyWhereItMayNotBeWritten)
{
    TempDir dir;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const std::string made = dir / "made.lock";
    {
        FdGuard fd(openLockFile(made, 0640));
        ASSERT_GE(fd.get(), 0);
        EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_ACCMODE, O_RDWR);
    }
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u & ~mask);

    // A lock file that may not be written still locks, opened read-only.
    const std::string readOnly = writeFile(dir / "ro/held.lock", "");
    ::chmod(readOnly.c_str(), 0444);
    ::chmod((dir / "ro").c_str(), 0555);
    WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "file modes do not bind this process";
    FdGuard fd(openLockFile(readOnly, 0600));
    ASSERT_GE(fd.get(), 0) << errno;
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_EQ(lockFile(fd.get(), false), 0);
    FdGuard other(openLockFile(readOnly, 0600));
    EXPECT_EQ(lockFile(other.get(), false), EWOULDBLOCK);
    // None can be made there.
    EXPECT_EQ(openLockFile(dir / "ro/new.lock", 0600), -1);
    EXPECT_FALSE(std::ifstream(dir / "ro/new.lock"));

    errno = 0;
    EXPECT_EQ(openLockFile(dir / "gone/x.lock", 0600), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(RetryAttempts, StopsAtTheFirstSuccessOrTellsTheLastError)
{
    int calls = 0;
    EXPECT_EQ(retryAttempts([&] { return ++calls == 3 ? 0 : EAGAIN; }), 0);
    EXPECT_EQ(calls, 3);

    calls = 0;
    // Every attempt fails; the last one's error is told.
    EXPECT_EQ(retryAttempts([&] { return ++calls == kOpenAttempts ? EACCES : EBUSY; }), EACCES);
    EXPECT_EQ(calls, kOpenAttempts);
}

}  // namespace
}  // namespace renvo::test
