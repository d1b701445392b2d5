#include "platform/RunLock.h"

#include "common/TempDir.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace renvo::test {
namespace {

// A child process that takes the lock of a folder, says whether it got it ('H' held,
// 'B' busy, 'F' failed) and then waits until it is killed.
class LockingChild {
public:
    explicit LockingChild(const std::string& folder)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            RunLock lock = RunLock::tryAcquire(folder);
            const char c = lock.held() ? 'H' : lock.state() == RunLock::State::busy ? 'B' : 'F';
            (void)!::write(fds[1], &c, 1);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        if (::read(fds[0], &answer_, 1) != 1)
            answer_ = '?';
        ::close(fds[0]);
    }
    ~LockingChild() { kill(); }

    char answer() const { return answer_; }
    // Ends the child the hard way, as a crash would, and waits until it is gone.
    void kill()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    char answer_ = '?';
};

TEST(RunLock, OneRunPerProgramFolderWithinOneProcess)
{
    TempDir tmp;
    RunLock first = RunLock::tryAcquire(tmp.path() + "/");
    ASSERT_TRUE(first.held()) << first.refusal();
    EXPECT_TRUE(first.refusal().empty());

    RunLock second = RunLock::tryAcquire(tmp.path());
    EXPECT_FALSE(second.held());
    EXPECT_EQ(second.state(), RunLock::State::busy);
    EXPECT_EQ(second.refusal(), "現在ミラーリング中です（同じプログラムフォルダの実行が終わるまで開始できません）");

    // Another folder is another lock.
    TempDir other;
    EXPECT_TRUE(RunLock::tryAcquire(other.path()).held());

    // Moving keeps one holder; releasing frees the folder but leaves the file.
    RunLock moved = std::move(first);
    EXPECT_TRUE(moved.held());
    EXPECT_FALSE(RunLock::tryAcquire(tmp.path()).held());
    moved.release();
    EXPECT_TRUE(std::filesystem::exists(tmp / "_rvlock"));
    EXPECT_TRUE(RunLock::tryAcquire(tmp.path()).held());
}

TEST(RunLock, MissingProgramFolderIsRefusedWithTheReason)
{
    TempDir tmp;
    RunLock lock = RunLock::tryAcquire(tmp / "gone");
    EXPECT_EQ(lock.state(), RunLock::State::failed);
    EXPECT_NE(lock.refusal().find(tmp / "gone/_rvlock"), std::string::npos) << lock.refusal();
}

TEST(RunLock, HeldAcrossProcessesAndFreedWhenTheHolderIsKilled)
{
    TempDir tmp;
    LockingChild child(tmp.path());
    ASSERT_EQ(child.answer(), 'H');
    EXPECT_EQ(RunLock::tryAcquire(tmp.path()).state(), RunLock::State::busy);
    EXPECT_EQ(LockingChild(tmp.path()).answer(), 'B');

    child.kill();
    RunLock after = RunLock::tryAcquire(tmp.path());
    EXPECT_TRUE(after.held()) << after.refusal();
    EXPECT_EQ(LockingChild(tmp.path()).answer(), 'B');
}

TEST(RunLock, ProgramsStartedDuringARunDoNotKeepTheLock)
{
    TempDir tmp;
    RunLock lock = RunLock::tryAcquire(tmp.path());
    ASSERT_TRUE(lock.held());

    // The pipe closes in the child when it executes the new program (or says why it could not).
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
        const int err = errno;
        (void)!::write(fds[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(fds[1]);
    int err = 0;
    const ssize_t got = ::read(fds[0], &err, sizeof err);
    ::close(fds[0]);
    EXPECT_EQ(got, 0) << "exec failed: " << err;

    lock.release();
    EXPECT_TRUE(RunLock::tryAcquire(tmp.path()).held());
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace
}  // namespace renvo::test
