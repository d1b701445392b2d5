#include "platform/HiveFile.h"

#include "platform/FileSys.h"
#include "platform/OpenRetry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <deque>
#include <mutex>

namespace renvo {

namespace {

// A hive is a few kilobytes; anything this large is not one of ours.
constexpr size_t kMaxHiveSize = size_t(64) << 20;

class ErrnoGuard {
public:
    ErrnoGuard() : saved_(errno) {}
    ~ErrnoGuard() { errno = saved_; }
    ErrnoGuard(const ErrnoGuard&) = delete;
    ErrnoGuard& operator=(const ErrnoGuard&) = delete;

private:
    int saved_;
};

std::string folderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The hive's own name may be a link (a dotfile manager keeps the real file elsewhere): reads and
// saves then go to the file it points to, so saving does not replace the link by a plain file.
std::string resolveLinks(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop < 16; ++hop) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(4096, '\0');
        ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || size_t(n) >= target.size())
            return current;
        target.resize(size_t(n));
        current = target[0] == '/' ? target : folderOf(current) + "/" + target;
    }
    return current;
}

bool makeFolders(const std::string& dir)
{
    size_t pos = 0;
    for (;;) {
        pos = dir.find('/', pos + 1);
        std::string part = dir.substr(0, pos);
        struct stat st;
        if (!part.empty() && ::stat(part.c_str(), &st) != 0 &&
            (errno != ENOENT || (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)))
            return false;
        if (pos == std::string::npos)
            break;
    }
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

// An exclusive flock on "<hive>.lock". The lock file is never removed: removing it would let
// two programs lock two different files of the same name.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath)
    {
        std::string path = hivePath + ".lock";
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 && (errno == EACCES || errno == EROFS))
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        fd_.reset(fd);
        if (fd < 0)
            return;
        int rc;
        while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0)
            fd_.reset();
    }
    bool held() const { return fd_.get() >= 0; }

private:
    FdGuard fd_;
};

enum class ReadResult { Ok, Missing, Failed, TooLarge };

ReadResult readText(const std::string& path, std::string& text)
{
    text.clear();
    // O_NONBLOCK: a FIFO put in the hive's place must not hang the program.
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return ReadResult::Failed;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return ReadResult::Failed;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        if (n == 0)
            return ReadResult::Ok;
        if (text.size() + size_t(n) > kMaxHiveSize)
            return ReadResult::TooLarge;
        text.append(buf, size_t(n));
    }
}

std::string timeStamp()
{
    time_t now = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

// Moves an unparsable hive to "<name>.corrupt-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when
// taken). Called under the lock only, so no other program moves or replaces it meanwhile.
bool moveAside(const std::string& file, const std::string& hivePath)
{
    std::string base = file + ".corrupt-" + timeStamp();
    for (int n = 1; n < 10000; ++n) {
        std::string candidate = n == 1 ? base : base + "-" + std::to_string(n);
        struct stat st;
        if (::lstat(candidate.c_str(), &st) == 0)
            continue;
        if (errno != ENOENT)
            return false;
        if (::rename(file.c_str(), candidate.c_str()) != 0)
            return false;
        postHiveNotice({hivePath, candidate});
        return true;
    }
    errno = EEXIST;
    return false;
}

// Reads the hive into `hive`. An unparsable file is moved aside when we hold the lock; without
// the lock it is read as empty and left where it is for the next locked call.
bool loadFile(const std::string& hivePath, const std::string& file, bool locked, Hive& hive)
{
    hive = Hive();
    std::string text;
    switch (readText(file, text)) {
    case ReadResult::Missing:
        return true;
    case ReadResult::Failed:
        return false;
    case ReadResult::TooLarge:
        break;
    case ReadResult::Ok:
        // An empty file holds nothing that could be lost.
        if (text.empty())
            return true;
        if (auto parsed = Hive::parse(text)) {
            hive = std::move(*parsed);
            return true;
        }
        break;
    }
    if (!locked)
        return true;
    return moveAside(file, hivePath);
}

std::mutex noticeMutex;
std::deque<HiveNotice> notices;

}  // namespace

void postHiveNotice(HiveNotice notice)
{
    std::lock_guard<std::mutex> lock(noticeMutex);
    notices.push_back(std::move(notice));
}

std::optional<HiveNotice> takeHiveNotice()
{
    std::lock_guard<std::mutex> lock(noticeMutex);
    if (notices.empty())
        return std::nullopt;
    HiveNotice n = std::move(notices.front());
    notices.pop_front();
    return n;
}

bool loadHive(const std::string& hivePath, Hive& hive)
{
    HiveLock lock(hivePath);  // may fail (read-only or missing folder): read without it
    return loadFile(hivePath, resolveLinks(hivePath), lock.held(), hive);
}

bool updateHive(const std::string& hivePath, const std::function<HiveChange(Hive&)>& change)
{
    if (!makeFolders(folderOf(hivePath)))
        return false;
    HiveLock lock(hivePath);
    if (!lock.held())
        return false;
    std::string file = resolveLinks(hivePath);
    removeStaleTemporaries(file);
    Hive hive;
    if (!loadFile(hivePath, file, true, hive))
        return false;
    switch (change(hive)) {
    case HiveChange::None:
        return true;
    case HiveChange::Refused:
        return false;
    case HiveChange::Changed:
        break;
    }
    // A crash leaves either the old or the new file, never a mix.
    const int err = writeFileAtomic(file, hive.toText(), nullptr, 0600);
    errno = err;
    return err == 0;
}

}  // namespace renvo
