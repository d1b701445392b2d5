#include "platform/HiveFile.h"

#include "platform/FileLock.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <deque>
#include <mutex>

namespace renvo {

namespace {

// A hive is a few kilobytes; anything this large is not one of ours.
constexpr size_t kMaxHiveSize = size_t(64) << 20;

// An exclusive flock on "<hive>.lock", waiting for other programs. The lock file is never
// removed: removing it would let two programs lock two different files of the same name.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath) : fd_(openLockFile(hivePath + ".lock", 0600))
    {
        err_ = fd_.get() < 0 ? errno : lockFile(fd_.get(), true);
        if (err_ != 0)
            fd_.reset();
    }
    bool held() const { return err_ == 0; }
    // Why it is not held.
    int error() const { return err_; }

private:
    FdGuard fd_;
    int err_ = 0;
};

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
int moveAside(const std::string& file, const std::string& hivePath)
{
    std::string base = file + ".corrupt-" + timeStamp();
    for (int n = 1; n < 10000; ++n) {
        std::string candidate = n == 1 ? base : base + "-" + std::to_string(n);
        struct stat st;
        if (::lstat(candidate.c_str(), &st) == 0)
            continue;
        if (errno != ENOENT)
            return errno;
        if (::rename(file.c_str(), candidate.c_str()) != 0)
            return errno;
        postHiveNotice({hivePath, candidate});
        return 0;
    }
    return EEXIST;
}

// Reads the hive into `hive`. An unparsable file is moved aside when we hold the lock; without
// the lock it is read as empty and left where it is for the next locked call.
int loadFile(const std::string& hivePath, const std::string& file, bool locked, Hive& hive)
{
    hive = Hive();
    std::string text;
    // A FIFO put in the hive's place must not hang the program.
    const int err = readWholeFile(file, text, {.regularOnly = true, .maxSize = kMaxHiveSize}).error();
    if (err == ENOENT || err == ENOTDIR)
        return 0;  // no hive yet
    if (err != 0 && err != EFBIG)
        return err;
    if (err == 0) {
        // An empty file holds nothing that could be lost.
        if (text.empty())
            return 0;
        if (auto parsed = Hive::parse(text)) {
            hive = std::move(*parsed);
            return 0;
        }
    }
    // Too large or unparsable: not ours, so never overwritten.
    if (!locked)
        return 0;
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

Status loadHive(const std::string& hivePath, Hive& hive)
{
    HiveLock lock(hivePath);  // may fail (read-only or missing folder): read without it
    return {loadFile(hivePath, followLinks(hivePath), lock.held(), hive), hivePath};
}

namespace {

int update(const std::string& hivePath, const std::function<HiveChange(Hive&)>& change)
{
    const std::string folder = extractFileDir(hivePath);
    if (const int err = forceDirectories(folder.empty() ? "." : folder, 0700).error(); err != 0)
        return err;
    HiveLock lock(hivePath);
    if (!lock.held())
        return lock.error();
    const std::string file = followLinks(hivePath);
    removeStaleTemporaries(file);
    Hive hive;
    if (const int err = loadFile(hivePath, file, true, hive); err != 0)
        return err;
    errno = 0;
    switch (change(hive)) {
    case HiveChange::None:
        return 0;
    case HiveChange::Refused:
        return errno != 0 ? errno : EPERM;  // a refusal is never a success
    case HiveChange::Changed:
        break;
    }
    // A crash leaves either the old or the new file, never a mix.
    return writeFileAtomic(file, hive.toText(), nullptr, 0600).error();
}

}  // namespace

Status updateHive(const std::string& hivePath, const std::function<HiveChange(Hive&)>& change)
{
    return {update(hivePath, change), hivePath};
}

}  // namespace renvo
