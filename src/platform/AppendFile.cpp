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
    // Each write lands at the end; only a write cut short needs the size to undo it, so the
    // common case costs one call (a log line per copy).
    size_t done = 0;
    int err = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd_.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (err == 0)
        return 0;
    struct stat st {};
    if (done > 0 && ::fstat(fd_.get(), &st) == 0 && st.st_size >= static_cast<off_t>(done))
        static_cast<void>(::ftruncate(fd_.get(), st.st_size - static_cast<off_t>(done)));
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
