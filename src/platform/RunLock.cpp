#include "platform/RunLock.h"

#include "platform/FileLock.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace renvo {

RunLock RunLock::tryAcquire(const std::string& programFolder)
{
    RunLock lock;
    const std::string path = includeTrailingDelimiter(programFolder) + kRunLockFileName;
    // A lock file made earlier in a folder that is read-only now still serves.
    const int fd = openLockFile(path, 0644);
    if (fd < 0) {
        lock.state_ = State::failed;
        lock.refusal_ = "ロックファイル '" + path + "' を開けません: " + errorText(errno);
        return lock;
    }
    if (const int err = lockFile(fd, false); err != 0) {
        ::close(fd);
        if (err == EWOULDBLOCK) {
            lock.state_ = State::busy;
            lock.refusal_ = kRunLockBusyText;
        } else {
            lock.state_ = State::failed;
            lock.refusal_ = "ロックファイル '" + path + "' をロックできません: " + errorText(err);
        }
        return lock;
    }
    lock.fd_ = fd;
    lock.state_ = State::held;
    return lock;
}

RunLock::~RunLock()
{
    release();
}

RunLock::RunLock(RunLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      state_(std::exchange(other.state_, State::released)),
      refusal_(std::move(other.refusal_))
{
}

RunLock& RunLock::operator=(RunLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        state_ = std::exchange(other.state_, State::released);
        refusal_ = std::move(other.refusal_);
    }
    return *this;
}

void RunLock::release()
{
    if (fd_ >= 0) {
        // Closing the only descriptor drops the lock; the file stays.
        ::close(fd_);
        fd_ = -1;
    }
    if (state_ == State::held)
        state_ = State::released;
}

}  // namespace renvo
