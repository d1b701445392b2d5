#include "platform/OpenRetry.h"

#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/stat.h>
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

int openLockedForReading(const std::string& path)
{
    return openRetry(path, O_RDONLY, 0, true);
}

int openForReadingNoWait(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

int openAnonymousFile(const std::string& folder)
{
    return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

bool describeOpenFile(int fd, OpenFileInfo& info)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    info.regular = S_ISREG(st.st_mode);
    info.folder = S_ISDIR(st.st_mode);
    info.size = static_cast<uint64_t>(st.st_size);
    info.mode = st.st_mode & 07777;
    return true;
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

bool writeAllAt(int fd, const void* data, size_t size, uint64_t at)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        at += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

size_t readFully(int fd, void* data, size_t size, uint64_t at)
{
    char* p = static_cast<char*>(data);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = at == kAtPosition ? ::read(fd, p + got, size - got)
                                            : ::pread(fd, p + got, size - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            break;
        }
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace renvo
