#include "engine/ListFile.h"

#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace renvo {

namespace {

constexpr size_t kAddressAt = 2, kSubfoldersAt = 258, kMasksAt = 259, kOptionAt = 515, kDestAt = 516,
                 kEveryRunAt = 776;

bool readRecord(int fd, uint8_t* record)
{
    size_t got = 0;
    while (got < kItemRecordSize) {
        const ssize_t n = ::read(fd, record + got, kItemRecordSize - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void putShortString(uint8_t* field, const std::string& text)
{
    const size_t n = std::min<size_t>(text.size(), 255);
    std::memset(field, 0, 256);
    field[0] = static_cast<uint8_t>(n);
    std::memcpy(field + 1, text.data(), n);
}

std::string getShortString(const uint8_t* field)
{
    return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

void encodeItem(const MirrorItem& item, uint8_t* record)
{
    std::memset(record, 0, kItemRecordSize);
    record[0] = item.runFlag;
    record[1] = item.kind;
    putShortString(record + kAddressAt, item.address);
    record[kSubfoldersAt] = item.subfolders;
    putShortString(record + kMasksAt, item.masks);
    record[kOptionAt] = item.folderOption;
    putShortString(record + kDestAt, item.dest);
    record[kEveryRunAt] = item.everyRun;
}

MirrorItem decodeItem(const uint8_t* record)
{
    MirrorItem item;
    item.runFlag = record[0];
    item.kind = record[1];
    item.address = getShortString(record + kAddressAt);
    item.subfolders = record[kSubfoldersAt];
    item.masks = getShortString(record + kMasksAt);
    item.folderOption = record[kOptionAt];
    item.dest = getShortString(record + kDestAt);
    item.everyRun = record[kEveryRunAt];
    return item;
}

ListReader::ListReader(const std::string& path)
{
    open(path);
}

ListReader::ListReader(ListReader&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), count_(other.count_), read_(other.read_)
{
}

std::optional<ListReader> ListReader::openIfExists(const std::string& path)
{
    std::optional<ListReader> reader(ListReader{});
    try {
        reader->open(path);
    } catch (const EFOpenError& e) {
        if (e.err == ENOENT)
            return std::nullopt;
        throw;
    }
    return reader;
}

void ListReader::open(const std::string& path)
{
    fd_ = openRetry(path, O_RDONLY, 0, true);
    if (fd_ < 0)
        throw EFOpenError{path, errno};
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
        count_ = static_cast<size_t>(st.st_size) / kItemRecordSize;
}

ListReader::~ListReader()
{
    close();
}

bool ListReader::next(MirrorItem& item)
{
    if (fd_ < 0 || read_ >= count_)
        return false;
    uint8_t record[kItemRecordSize];
    if (!readRecord(fd_, record))
        return false;
    ++read_;
    item = decodeItem(record);
    return true;
}

void ListReader::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::vector<MirrorItem> readListFile(const std::string& path)
{
    std::vector<MirrorItem> items;
    if (!pathExists(path))
        return items;
    ListReader reader(path);
    items.reserve(reader.count());
    MirrorItem item;
    while (reader.next(item))
        items.push_back(std::move(item));
    return items;
}

int writeListFile(const std::string& path, const std::vector<MirrorItem>& items)
{
    std::string data(items.size() * kItemRecordSize, '\0');
    for (size_t i = 0; i < items.size(); ++i)
        encodeItem(items[i], reinterpret_cast<uint8_t*>(data.data() + i * kItemRecordSize));
    return writeFileAtomic(path, data);
}

namespace {

// Writes the kept records to the backup file, flushed, with the list's mode; 0 or errno.
int writeBackup(const std::string& path, const std::string& data, mode_t mode)
{
    // A link or a stale file of that name is replaced, never written through.
    ::unlink(path.c_str());
    FdGuard out(openRetry(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, static_cast<int>(mode)));
    if (out.get() < 0)
        return errno;
    if (!writeAll(out.get(), data.data(), data.size()) || ::fchmod(out.get(), mode) != 0 ||
        ::fsync(out.get()) != 0 || !out.close())
        return errno;
    return 0;
}

}  // namespace

ListFilterResult filterListFile(const std::string& folder,
                                const std::function<bool(const MirrorItem& item, size_t index)>& keep,
                                const std::function<void(size_t records)>& counted)
{
    const std::string listPath = includeTrailingDelimiter(folder) + kListFileName;

    // The list stays locked until the new one has replaced it.
    FdGuard list(openRetry(listPath, O_RDONLY, 0, true));
    if (list.get() < 0)
        throw EFOpenError{listPath, errno};
    struct stat st {};
    if (::fstat(list.get(), &st) != 0)
        throw EFOpenError{listPath, errno};
    ListFilterResult result;
    result.records = static_cast<size_t>(st.st_size) / kItemRecordSize;
    if (counted)
        counted(result.records);

    std::string kept;
    kept.reserve(result.records * kItemRecordSize);
    uint8_t record[kItemRecordSize];
    for (size_t index = 0; index < result.records && readRecord(list.get(), record); ++index) {
        if (!keep(decodeItem(record), index))
            continue;
        kept.append(reinterpret_cast<const char*>(record), kItemRecordSize);
        ++result.kept;
    }
    if (result.kept == result.records)
        return result;

    // Renamed within one folder, so the target is the file a link in the list's place names.
    const std::string target = followLinks(listPath);
    const std::string backup = joinPath(extractFileDir(target), kListBackupName);
    int err = writeBackup(backup, kept, st.st_mode & 07777);
    if (err == 0 && ::rename(backup.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(backup.c_str());
        throw EFOpenError{listPath, err};
    }
    FdGuard dir(::open(extractFileDir(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return result;
}

size_t dropItems(const std::string& folder, const std::vector<std::string>& addresses)
{
    std::unordered_set<std::string> drop;
    for (const std::string& a : addresses)
        drop.insert(pathKey(a));
    const ListFilterResult r =
        filterListFile(folder, [&](const MirrorItem& item, size_t) { return !drop.count(pathKey(item.address)); });
    return r.records - r.kept;
}

}  // namespace renvo
