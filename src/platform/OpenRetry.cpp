#include "platform/OpenRetry.h"

#include "platform/FileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace renvo {

bool mayPassOnRetry(int err)
{
    switch (err) {
    case EBUSY:
    case EAGAIN:
    case EINTR:
    case ETXTBSY:
    case EMFILE:
    case ENFILE:
    case ENOMEM:
        return true;
    default:
        return false;
    }
}

int openRetry(const std::string& path, int flags, int mode, bool exclusive)
{
    int fd = -1;
    const int err = retryAttempts([&] {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
        if (fd < 0)
            return errno;
        const int lockErr = exclusive ? lockFile(fd, false) : 0;
        if (lockErr != 0) {
            ::close(fd);
            fd = -1;
        }
        return lockErr == EWOULDBLOCK ? EBUSY : lockErr;
    });
    if (err != 0)
        errno = err;
    return fd;
}

FdGuard::~FdGuard()
{
    reset();
}

void FdGuard::reset(int fd)
{
    if (fd_ >= 0) {
        const int saved = errno;
        ::close(fd_);
        errno = saved;
    }
    fd_ = fd;
}

bool FdGuard::close()
{
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

bool writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace renvo
