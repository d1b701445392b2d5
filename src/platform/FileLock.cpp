#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace renvo {

int lockFile(int fd, bool wait)
{
    const int op = wait ? LOCK_EX : LOCK_EX | LOCK_NB;
    while (::flock(fd, op) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

int openLockFile(const std::string& path, unsigned newFileMode)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, static_cast<mode_t>(newFileMode));
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd;
}

}  // namespace renvo
