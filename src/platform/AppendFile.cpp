#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace renvo {

int AppendFile::open(const std::string& path, unsigned mode)
{
    fd_.reset(openRetry(path, O_WRONLY | O_APPEND | O_CREAT, static_cast<int>(mode)));
    return fd_.get() >= 0 ? 0 : errno;
}

void AppendFile::adopt(int fd)
{
    // Further writes go to the end, whatever a failed write left behind.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_APPEND);
    fd_.reset(fd);
}

int AppendFile::append(std::string_view data)
{
    if (fd_.get() < 0)
        return EBADF;
    struct stat st {};
    const off_t before = ::fstat(fd_.get(), &st) == 0 ? st.st_size : -1;
    if (writeAll(fd_.get(), data.data(), data.size()))
        return 0;
    const int err = errno;
    if (before >= 0)
        static_cast<void>(::ftruncate(fd_.get(), before));
    fd_.reset();
    return err;
}

int endsWithLineFeed(const std::string& path, bool& endsWithLf)
{
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return errno;
    char last = '\n';
    if (st.st_size > 0) {
        const ssize_t n = ::pread(fd.get(), &last, 1, st.st_size - 1);
        if (n != 1)
            return n < 0 ? errno : EIO;
    }
    endsWithLf = last == '\n';
    return 0;
}

}  // namespace renvo
