#include "platform/FileSys.h"

#include "platform/DateTime.h"
#include "platform/DirectoryFault.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <unordered_set>
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

// The attributes of an entry itself (a link is never its target).
uint32_t attrFromMode(const char* name, mode_t mode)
{
    uint32_t attr = 0;
    if (S_ISDIR(mode))
        attr = faDirectory;
    else if (S_ISLNK(mode))
        attr = faArchive | faReparsePoint;
    else if (S_ISREG(mode))
        attr = faArchive | (mode & S_IWUSR ? 0u : static_cast<uint32_t>(faReadOnly));
    else
        attr = faDevice;
    if (name[0] == '.')
        attr |= faHidden;
    return attr;
}

// The type an entry's d_type tells without a stat; 0 when it does not.
mode_t typeOf(unsigned char dtype)
{
    switch (dtype) {
    case DT_DIR: return S_IFDIR;
    case DT_LNK: return S_IFLNK;
    case DT_FIFO: return S_IFIFO;
    case DT_SOCK: return S_IFSOCK;
    case DT_CHR: return S_IFCHR;
    case DT_BLK: return S_IFBLK;
    default: return 0;  // a regular file needs a stat for its read-only bit
    }
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

// Copies to the end of `in`, or up to `size` bytes when it is known (a file that grows
// meanwhile is found out afterwards by its size): a small file then takes one call.
int copyContent(int in, int out, off_t size = 0)
{
    bool any = false;
    off_t copied = 0;
    for (;;) {
        if (size > 0 && copied >= size)
            return 0;
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
        copied += n;
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

// A fresh temporary name for the file `name`, in the form makeTempBeside uses.
std::string tempNameFor(const std::string& name)
{
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint64_t> counter{0};
    static const pid_t pid = ::getpid();  // once: the name is tried with O_EXCL anyway
    uint64_t x = (static_cast<uint64_t>(pid) << 32) ^ counter.fetch_add(0x9E3779B97F4A7C15ull) ^
                 static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::string tmp = tempNamePrefix(name);
    for (int i = 0; i < 6; ++i) {
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDull;
        tmp += chars[x % 62];
    }
    return tmp;
}

// The same beside `path`, for what mkostemp cannot make (a link).
std::string tempNameBeside(const std::string& path)
{
    return extractFilePath(path) + tempNameFor(extractFileName(path));
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

std::vector<DirEntry> readDirectory(const std::string& dir, bool withStamps)
{
    std::vector<DirEntry> out;
    (void)readDirectoryInto(dir, withStamps, out);
    return out;
}

Status readDirectoryInto(const std::string& dir, bool withStamps, std::vector<DirEntry>& out)
{
    // Entries are reused from the caller's last folder: their names keep their buffers.
    size_t count = 0;
    auto next = [&]() -> DirEntry& {
        if (count == out.size())
            out.emplace_back();
        return out[count++];
    };
    int err = 0;
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        out.clear();
        return {errno, dir};
    }
    const ReadDirectoryFault fault = readDirectoryFault.load(std::memory_order_acquire);
    // getdents64 straight into a buffer of our own: readdir's stream costs a descriptor check
    // per folder and a copy per entry.
    alignas(8) char buf[32 * 1024];
    size_t pos = 0, filled = 0;
    for (;;) {
        if (const int faked = fault ? fault(dir, count) : 0; faked != 0) {
            err = faked;
            break;
        }
        if (pos == filled) {
            const long n = ::syscall(SYS_getdents64, dfd, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                err = errno;
                break;
            }
            if (n == 0)
                break;
            pos = 0;
            filled = static_cast<size_t>(n);
        }
        const auto* e = reinterpret_cast<const struct dirent64*>(buf + pos);
        pos += e->d_reclen;
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        DirEntry& entry = next();
        entry.name.assign(n);
        entry.stamp = -1;
        // The entry itself, never what a link points to: a link is listed as a link.
        const mode_t type = e->d_type == DT_REG ? S_IFREG : typeOf(e->d_type);
        const bool needStamp = withStamps && (type == S_IFREG || type == S_IFLNK);
        if (type != 0 && type != S_IFREG && !needStamp) {
            entry.attr = attrFromMode(n, type);
        } else if (type == S_IFREG && !withStamps) {
            entry.attr = attrFromMode(n, S_IFREG | S_IWUSR);
        } else {
            struct stat st {};
            if (::fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                entry.attr = attrFromMode(n, st.st_mode);
                if (!S_ISDIR(st.st_mode))
                    entry.stamp = dosStampFromUnix(st.st_mtim.tv_sec);
            } else {
                // Gone since the folder was read: listed as a file that cannot be found.
                entry.attr = attrFromMode(n, S_IFREG | S_IWUSR);
            }
        }
    }
    ::close(dfd);
    if (err != 0) {
        // Half a listing is no listing: nothing may be taken as deleted from it.
        out.clear();
        return {err, dir};
    }
    out.resize(count);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return {};
}

int32_t fileStamp(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return dosStampFromUnix(st.st_mtim.tv_sec);
}

bool isSpecialPath(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode);
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
    if (::fstatat(fd_, path.c_str() + slash + 1, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode))
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

namespace {

// Whether a folder holds no entry (reading stops at the first one): 0, ENODATA for an empty
// one, or the errno of a folder that cannot be read.
int emptiness(const std::string& dir)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return errno;
    int err = ENODATA;
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            err = 0;
            break;
        }
    }
    if (err == ENODATA && errno != 0)
        err = errno;
    ::closedir(d);
    return err;
}

}  // namespace

bool folderIsEmpty(const std::string& dir)
{
    return emptiness(dir) == ENODATA;
}

Status parentIsPresent(const std::string& path)
{
    const std::string parent = extractFileDir(path);
    return {emptiness(parent), parent};
}

bool isMountPoint(const std::string& path)
{
    struct stat self {}, up {};
    if (::stat(path.c_str(), &self) != 0 || !S_ISDIR(self.st_mode) || ::stat((path + "/..").c_str(), &up) != 0)
        return false;
    return self.st_dev != up.st_dev;
}

namespace {

// `sync` on a folder opened for it: 0 or errno.
int onFolder(const std::string& path, int (*sync)(int))
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int err = sync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

}  // namespace

Status syncFileSystem(const std::string& path)
{
    return {onFolder(path, ::syncfs), path};
}

Status syncFolder(const std::string& path)
{
    return {onFolder(path, ::fsync), path};
}

Status forceDirectories(const std::string& path, unsigned mode)
{
    if (path.empty())
        return {ENOENT, path};
    if (directoryExists(path))
        return {};
    // Each part from the root down; one made meanwhile by another program is as good.
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string part = path.substr(0, pos);
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0 &&
            (errno != ENOENT || (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)))
            return {errno, part};
        if (pos == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {errno, path};
    return {S_ISDIR(st.st_mode) ? 0 : ENOTDIR, path};
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

namespace {

std::atomic<CopyHook> copyHook{nullptr};

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The link itself: its target text under a temporary name beside dst, the link's own times,
// then a rename over dst.
int copyLink(const std::string& src, const struct stat& st, const std::string& dst)
{
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
    if (n < 0)
        return errno;
    if (static_cast<size_t>(n) >= target.size())
        return EAGAIN;  // it changed since it was looked at
    target.resize(static_cast<size_t>(n));
    std::string tmp;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        tmp = tempNameBeside(dst);
        err = ::symlink(target.c_str(), tmp.c_str()) == 0 ? 0 : errno;
    }
    if (err != 0)
        return err;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(AT_FDCWD, tmp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 || ::rename(tmp.c_str(), dst.c_str()) != 0)
        err = errno;
    if (err != 0)
        ::unlink(tmp.c_str());
    return err;
}

}  // namespace

void setCopyHook(CopyHook hook)
{
    copyHook.store(hook, std::memory_order_release);
}

Status copyFileReplacing(const std::string& src, const std::string& dst)
{
    return CopySession().copy(src, dst);
}

CopySession::~CopySession()
{
    forget();
}

void CopySession::forget()
{
    for (Folder* f : {&src_, &dst_}) {
        if (f->fd >= 0)
            ::close(f->fd);
        f->fd = -1;
        f->path.clear();
    }
}

// The open folder of `path` (cached while copies stay in it) and the name in it; -1 with errno.
int CopySession::folderOf(Folder& f, const std::string& path, std::string& name)
{
    const size_t cut = path.rfind('/');
    const std::string_view dir = cut == std::string::npos ? std::string_view(".")
                                 : cut == 0                ? std::string_view("/")
                                                           : std::string_view(path).substr(0, cut);
    name.assign(path, cut == std::string::npos ? 0 : cut + 1);
    if (f.fd >= 0 && f.path == dir)
        return f.fd;
    if (f.fd >= 0)
        ::close(f.fd);
    f.path.assign(dir);
    f.fd = ::open(f.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (f.fd < 0)
        f.path.clear();
    return f.fd;
}

Status CopySession::copy(const std::string& src, const std::string& dst)
{
    std::string srcName, dstName;
    const int from = folderOf(src_, src, srcName);
    if (from < 0)
        return {errno, src};
    // O_NONBLOCK: opening a named pipe must not wait for a writer (it is refused below);
    // O_NOFOLLOW: a link is copied as a link, never followed.
    FdGuard in(::openat(from, srcName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (in.get() < 0) {
        const int err = errno;
        struct stat lst {};
        if (err == ELOOP && ::fstatat(from, srcName.c_str(), &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode))
            return {copyLink(src, lst, dst), dst};
        return {err, src};
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        return {errno, src};
    if (S_ISDIR(st.st_mode))
        return {EISDIR, src};
    // Pipes, sockets and devices have no content to mirror and may never end.
    if (!S_ISREG(st.st_mode))
        return {ENOTSUP, src};
    const int to = folderOf(dst_, dst, dstName);
    if (to < 0)
        return {errno, dst};
    // A file without a name until it is whole: linked in place when there is no old copy
    // (most copies of a first run), so neither a temporary name nor a rename is needed.
    FdGuard out(anonymous_ ? ::openat(to, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1);
    if (out.get() < 0 && anonymous_ && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        anonymous_ = false;  // a file system without them; any other failure the named file tells
    std::string tmp;
    if (out.get() < 0) {
        for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
            tmp = tempNameFor(dstName);
            out.reset(::openat(to, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (out.get() < 0 && errno != EEXIST)
                return {errno, dst};
        }
        if (out.get() < 0)
            return {EEXIST, dst};
    }
    int err = copyContent(in.get(), out.get(), st.st_size);
    if (const CopyHook hook = copyHook.load(std::memory_order_acquire); hook && err == 0)
        hook(src);
    // A file written to while it was copied may be torn; a copy with the stamp read before
    // would look up to date to the next run for good.
    struct stat after {};
    if (err == 0 && ::fstat(in.get(), &after) != 0)
        err = errno;
    if (err == 0 && (after.st_size != st.st_size || !sameTime(after.st_mtim, st.st_mtim)))
        err = kChangedWhileCopying;
    if (err == 0 && ::fchmod(out.get(), st.st_mode & 07777) != 0)
        err = errno;
    if (err == 0) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(out.get(), times) != 0)
            err = errno;
    }
    if (err == 0 && tmp.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(out.get());
        if (::linkat(AT_FDCWD, self.c_str(), to, dstName.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return {::close(out.release()) == 0 ? 0 : errno, dst};
        err = errno;
        if (err == EEXIST) {
            // An old copy is replaced by a rename, so that it stays whole until then.
            err = 0;
            for (int attempt = 0; attempt < 100; ++attempt) {
                tmp = tempNameFor(dstName);
                if (::linkat(AT_FDCWD, self.c_str(), to, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    break;
                tmp.clear();
                if ((err = errno) != EEXIST)
                    break;
            }
            if (tmp.empty() && err == 0)
                err = EEXIST;
        } else if ((err == ENOENT && ::access("/proc/self/fd", F_OK) != 0) || err == EPERM || err == EXDEV) {
            // No /proc, or links refused here: named temporaries from now on.
            anonymous_ = false;
            out.reset();
            return copy(src, dst);
        }
    }
    if (err == 0 && ::close(out.release()) != 0)
        err = errno;
    if (err == 0 && ::renameat(to, tmp.c_str(), to, dstName.c_str()) != 0)
        err = errno;
    if (err != 0 && !tmp.empty())
        ::unlinkat(to, tmp.c_str(), 0);
    return {err, dst};
}

Status deleteFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return {EISDIR, path};
    return {::unlink(path.c_str()) == 0 ? 0 : errno, path};
}

Status removeDirectory(const std::string& path)
{
    return {::rmdir(path.c_str()) == 0 ? 0 : errno, path};
}

Status renamePath(const std::string& from, const std::string& to)
{
    // Never replaces an existing target, as a rename on Windows does not.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    return {errno, errno == EEXIST ? to : from};
}

Status writeFileAtomic(const std::string& linkOrPath, const std::string& data, int* keepOpenFd, unsigned newFileMode)
{
    return writeFileAtomicBy(linkOrPath, [&data](int fd) { return writeAll(fd, data.data(), data.size()); },
                             keepOpenFd, newFileMode);
}

Status writeFileAtomicBy(const std::string& linkOrPath, const std::function<bool(int fd)>& write, int* keepOpenFd,
                         unsigned newFileMode)
{
    // Replace the file a link points to, not the link (settings kept elsewhere stay linked);
    // a dangling link gets its target.
    const std::string path = followLinks(linkOrPath);
    std::string tmp;
    FdGuard out(makeTempBeside(path, tmp));
    if (out.get() < 0)
        return {errno, path};
    int err = 0;
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : static_cast<mode_t>(newFileMode);
    if (!write(out.get()) || ::fchmod(out.get(), mode) != 0 ||
        ::fsync(out.get()) != 0)
        err = errno;
    if (err == 0 && !keepOpenFd && ::close(out.release()) != 0)
        err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        return {err, path};
    }
    // The rename itself made durable; should this fail, either file is whole all the same.
    const std::string folder = extractFileDir(path);
    (void)syncFolder(folder.empty() ? "." : folder);
    if (keepOpenFd) {
        // Further writes go to the end, whatever a failed write left behind.
        ::fcntl(out.get(), F_SETFL, O_APPEND);
        *keepOpenFd = out.release();
    }
    return {};
}

void removeWritableFilesIn(const std::string& folder, const std::vector<std::string>& names)
{
    FdGuard dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return;
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR))
            ::unlinkat(dir.get(), name.c_str(), 0);  // without AT_REMOVEDIR a folder of that name stays
    }
}

Status replaceFileThrough(const std::string& temp, const std::string& target, const std::string& data,
                          unsigned mode)
{
    ::unlink(temp.c_str());
    int err = 0;
    FdGuard out(openRetry(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, static_cast<int>(mode)));
    if (out.get() < 0 || !writeAll(out.get(), data.data(), data.size()) ||
        ::fchmod(out.get(), static_cast<mode_t>(mode)) != 0 || ::fsync(out.get()) != 0 || !out.close() ||
        ::rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return {err, temp};
    }
    (void)syncFolder(extractFileDir(target));
    return {};
}

bool isTemporaryName(std::string_view name)
{
    constexpr std::string_view tag = kSuffix.substr(0, kSuffix.size() - 6);  // ".rvtmp-"
    if (name.size() < 2 + tag.size() + 6 || name[0] != '.' ||
        name.compare(name.size() - 6 - tag.size(), tag.size(), tag) != 0)
        return false;
    for (const char c : name.substr(name.size() - 6)) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

std::vector<std::string> temporariesBeside(const std::vector<std::string>& paths)
{
    std::unordered_map<std::string, std::unordered_set<std::string>> prefixesByFolder;
    for (const std::string& path : paths)
        prefixesByFolder[extractFileDir(path)].insert(tempNamePrefix(path));
    std::vector<std::string> out;
    for (const auto& [folder, prefixes] : prefixesByFolder) {
        for (const DirEntry& e : readDirectory(folder.empty() ? "." : folder, false)) {
            if (isTemporaryName(e.name) && prefixes.count(e.name.substr(0, e.name.size() - 6)))
                out.push_back(joinPath(folder, e.name));
        }
    }
    return out;
}

void removeStaleTemporaries(const std::string& path)
{
    if (path.empty())
        return;
    for (const std::string& tmp : temporariesBeside({path}))
        ::unlink(tmp.c_str());
}

Status readWholeFile(const std::string& path, std::string& out, const ReadLimits& limits)
{
    out.clear();
    // O_NONBLOCK: the open of a FIFO returns at once, to be refused below.
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (limits.regularOnly ? O_NONBLOCK : 0)));
    if (fd.get() < 0)
        return {errno, path};
    if (limits.regularOnly) {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            return {errno, path};
        if (!S_ISREG(st.st_mode))
            return {S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path};
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return {};
        const int err = n < 0 ? errno : out.size() + static_cast<size_t>(n) > limits.maxSize ? EFBIG : 0;
        if (err != 0) {
            out.clear();
            return {err, path};
        }
        out.append(buf, static_cast<size_t>(n));
    }
}

}  // namespace renvo
