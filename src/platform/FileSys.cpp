#include "platform/FileSys.h"

#include "platform/DateTime.h"
#include "platform/DirectoryFault.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

namespace renvo {

namespace {

constexpr int32_t kStampMin = (((0 << 9) | (1 << 5) | 1) << 16);  // 1980-01-01 00:00:00
constexpr uint32_t kStampMax = (((127u << 9) | (12u << 5) | 31u) << 16) | ((23u << 11) | (59u << 5) | 29u);

// The time zone last set by tzset(): a change empties the offset cache below.
struct ZoneId {
    const char* std;
    const char* dst;
    long offset;
    int daylight;
    bool operator==(const ZoneId&) const = default;
};

// Local-time offset of a moment. Offsets are cached per day: converting every file's stamp
// through localtime_r costs more than the rest of the stamp work.
int64_t localOffset(int64_t t)
{
    thread_local std::unordered_map<int64_t, int64_t> byDay;
    thread_local ZoneId zone{};
    if (const ZoneId current{::tzname[0], ::tzname[1], ::timezone, ::daylight}; !(current == zone)) {
        byDay.clear();
        zone = current;
    }
    const int64_t day = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    auto offsetAt = [](int64_t when) {
        const time_t tt = static_cast<time_t>(when);
        struct tm tmv {};
        localtime_r(&tt, &tmv);
        return static_cast<int64_t>(tmv.tm_gmtoff);
    };
    if (auto it = byDay.find(day); it != byDay.end() && it->second != INT64_MIN)
        return it->second;
    else if (it != byDay.end())
        return offsetAt(t);  // a day with a change of offset
    const int64_t first = offsetAt(day * 86400);
    const int64_t last = offsetAt(day * 86400 + 86399);
    if (byDay.size() > 100000)
        byDay.clear();
    byDay.emplace(day, first == last ? first : INT64_MIN);
    return first == last ? first : offsetAt(t);
}

uint32_t attrFromMode(const std::string& name, mode_t mode)
{
    uint32_t attr = 0;
    if (S_ISDIR(mode))
        attr |= faDirectory;
    else
        attr |= faArchive;
    if (!(mode & S_IWUSR))
        attr |= faReadOnly;
    if (!name.empty() && name[0] == '.')
        attr |= faHidden;
    return attr;
}

bool isLink(int dfd, const char* name)
{
    struct stat st {};
    return ::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

int readWriteCopy(int in, int out)
{
    std::vector<char> buf(128 * 1024);
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        if (!writeAll(out, buf.data(), static_cast<size_t>(n)))
            return errno;
    }
}

int copyContent(int in, int out)
{
    bool any = false;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (!any && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
                return readWriteCopy(in, out);
            return errno;
        }
        if (n == 0)
            return 0;
        any = true;
    }
}

std::atomic<ReadDirectoryFault> readDirectoryFault{nullptr};

constexpr std::string_view kSuffix = ".rvtmp-XXXXXX";

// The name of temporary files beside `path` without their six random characters: hidden so
// that it stands out as ours, and shortened (at a character boundary) so that a temporary
// name fits where `path` does.
std::string tempNamePrefix(const std::string& path)
{
    static constexpr size_t kNameMax = 255;
    std::string name = extractFileName(path);
    const size_t room = kNameMax - 1 - kSuffix.size();
    if (name.size() > room) {
        size_t keep = 0;
        const CodePage cp = nativePathRules().codePage;
        while (keep < name.size() && keep + charLength(name, keep, cp) <= room)
            keep += charLength(name, keep, cp);
        name.resize(keep);
    }
    return "." + name + std::string(kSuffix.substr(0, kSuffix.size() - 6));
}

// A temporary file beside `path`.
int makeTempBeside(const std::string& path, std::string& tmpPath)
{
    std::string tmpl = extractFilePath(path) + tempNamePrefix(path) + "XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd >= 0)
        tmpPath = buf.data();
    return fd;
}

}  // namespace

int32_t dosStampFromUnix(int64_t seconds)
{
    const int64_t local = seconds + localOffset(seconds);
    const int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const int64_t secs = local - days * 86400;
    int y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    if (y < 1980)
        return kStampMin;
    if (y > 2107)
        return static_cast<int32_t>(kStampMax);
    const uint32_t date = (static_cast<uint32_t>(y - 1980) << 9) | (m << 5) | d;
    const uint32_t hh = static_cast<uint32_t>(secs / 3600);
    const uint32_t mm = static_cast<uint32_t>((secs / 60) % 60);
    const uint32_t ss = static_cast<uint32_t>(secs % 60);
    const uint32_t time = (hh << 11) | (mm << 5) | (ss / 2);
    return static_cast<int32_t>((date << 16) | time);
}

void setReadDirectoryFault(ReadDirectoryFault fault)
{
    readDirectoryFault.store(fault, std::memory_order_release);
}

std::vector<DirEntry> readDirectory(const std::string& dir, bool withStamps, int* error)
{
    std::vector<DirEntry> out;
    int ignored = 0;
    int& err = error ? *error : ignored;
    err = 0;
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        err = errno;
        return out;
    }
    DIR* d = ::fdopendir(dfd);
    if (!d) {
        err = errno;
        ::close(dfd);
        return out;
    }
    const ReadDirectoryFault fault = readDirectoryFault.load(std::memory_order_acquire);
    for (;;) {
        const int faked = fault ? fault(dir, out.size()) : 0;
        errno = 0;
        const dirent* e = faked == 0 ? ::readdir(d) : nullptr;
        if (faked != 0)
            errno = faked;
        if (!e) {
            if (errno != 0) {
                // Half a listing is no listing: nothing may be taken as deleted from it.
                err = errno;
                out.clear();
            }
            break;
        }
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        DirEntry entry;
        entry.name = n;
        const bool known = e->d_type == DT_DIR || e->d_type == DT_REG;
        if (known && (!withStamps || e->d_type == DT_DIR)) {
            entry.attr = e->d_type == DT_DIR ? faDirectory : faArchive;
            if (n[0] == '.')
                entry.attr |= faHidden;
        } else {
            struct stat st {};
            if (::fstatat(dfd, n, &st, 0) == 0) {
                entry.attr = attrFromMode(entry.name, st.st_mode);
                if (e->d_type == DT_LNK || (e->d_type == DT_UNKNOWN && isLink(dfd, n)))
                    entry.attr |= faReparsePoint;
                if (!S_ISDIR(st.st_mode))
                    entry.stamp = dosStampFromUnix(st.st_mtim.tv_sec);
            } else {
                // A dangling link: listed as a file that cannot be found.
                entry.attr = attrFromMode(entry.name, S_IFREG | S_IWUSR) | faReparsePoint;
            }
        }
        out.push_back(std::move(entry));
    }
    ::closedir(d);
    if (err != 0)
        return out;
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return out;
}

int32_t fileStamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return dosStampFromUnix(st.st_mtim.tv_sec);
}

StampReader::~StampReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int32_t StampReader::stamp(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return fileStamp(path);
    const std::string_view folder(path.data(), slash == 0 ? 1 : slash);
    if (!opened_ || folder != folder_) {
        if (fd_ >= 0)
            ::close(fd_);
        folder_.assign(folder);
        fd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        opened_ = true;
    }
    if (fd_ < 0)
        return -1;
    struct stat st {};
    if (::fstatat(fd_, path.c_str() + slash + 1, &st, 0) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return dosStampFromUnix(st.st_mtim.tv_sec);
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directoryExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int forceDirectories(const std::string& path, unsigned mode)
{
    if (path.empty())
        return ENOENT;
    if (directoryExists(path))
        return 0;
    // Each part from the root down; one made meanwhile by another program is as good.
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string part = path.substr(0, pos);
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0 &&
            (errno != ENOENT || (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)))
            return errno;
        if (pos == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string followLinks(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop < 16; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            return current;
        target.resize(static_cast<size_t>(n));
        const std::string folder = extractFileDir(current);
        current = target[0] == '/' || folder.empty() ? target : joinPath(folder, target);
    }
    return current;
}

int copyFileReplacing(const std::string& src, const std::string& dst)
{
    // O_NONBLOCK: opening a named pipe must not wait for a writer (it is refused below).
    FdGuard in(::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        return errno;
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    // Pipes, sockets and devices have no content to mirror and may never end.
    if (!S_ISREG(st.st_mode))
        return ENOTSUP;
    std::string tmp;
    FdGuard out(makeTempBeside(dst, tmp));
    if (out.get() < 0)
        return errno;
    int err = copyContent(in.get(), out.get());
    if (err == 0 && ::fchmod(out.get(), st.st_mode & 07777) != 0)
        err = errno;
    if (err == 0) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(out.get(), times) != 0)
            err = errno;
    }
    if (err == 0 && ::close(out.release()) != 0)
        err = errno;
    if (err == 0 && ::rename(tmp.c_str(), dst.c_str()) != 0)
        err = errno;
    if (err != 0)
        ::unlink(tmp.c_str());
    return err;
}

int deleteFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return EISDIR;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int removeDirectory(const std::string& path)
{
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int renamePath(const std::string& from, const std::string& to)
{
    // Never replaces an existing target, as a rename on Windows does not.
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

std::string errorText(int err)
{
    char buf[256];
    const char* text = ::strerror_r(err, buf, sizeof buf);
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n' || s.back() == '.'))
        s.pop_back();
    return s;
}

int writeFileAtomic(const std::string& linkOrPath, const std::string& data, int* keepOpenFd, unsigned newFileMode)
{
    // Replace the file a link points to, not the link (settings kept elsewhere stay linked);
    // a dangling link gets its target.
    const std::string path = followLinks(linkOrPath);
    std::string tmp;
    FdGuard out(makeTempBeside(path, tmp));
    if (out.get() < 0)
        return errno;
    int err = 0;
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : static_cast<mode_t>(newFileMode);
    if (!writeAll(out.get(), data.data(), data.size()) || ::fchmod(out.get(), mode) != 0 ||
        ::fsync(out.get()) != 0)
        err = errno;
    if (err == 0 && !keepOpenFd && ::close(out.release()) != 0)
        err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        return err;
    }
    // The rename itself made durable; should this fail, either file is whole all the same.
    std::string folder = extractFileDir(path);
    FdGuard dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    if (keepOpenFd) {
        // Further writes go to the end, whatever a failed write left behind.
        ::fcntl(out.get(), F_SETFL, O_APPEND);
        *keepOpenFd = out.release();
    }
    return 0;
}

void removeStaleTemporaries(const std::string& path)
{
    const std::string prefix = tempNamePrefix(path);
    std::string folder = extractFileDir(path);
    for (const DirEntry& e : readDirectory(folder.empty() ? "." : folder, false)) {
        if (e.name.size() == prefix.size() + 6 && e.name.compare(0, prefix.size(), prefix) == 0)
            ::unlink(joinPath(folder, e.name).c_str());
    }
}

int readWholeFile(const std::string& path, std::string& out, const ReadLimits& limits)
{
    out.clear();
    // O_NONBLOCK: the open of a FIFO returns at once, to be refused below.
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (limits.regularOnly ? O_NONBLOCK : 0)));
    if (fd.get() < 0)
        return errno;
    if (limits.regularOnly) {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            return errno;
        if (!S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return 0;
        const int err = n < 0 ? errno : out.size() + static_cast<size_t>(n) > limits.maxSize ? EFBIG : 0;
        if (err != 0) {
            out.clear();
            return err;
        }
        out.append(buf, static_cast<size_t>(n));
    }
}

}  // namespace renvo
