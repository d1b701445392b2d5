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

size_t dropItems(const std::string& folder, const std::vector<std::string>& addresses)
{
    const std::string listPath = includeTrailingDelimiter(folder) + kListFileName;
    std::unordered_set<std::string> drop;
    for (const std::string& a : addresses)
        drop.insert(pathKey(a));

    // The list stays locked until the new one has replaced it.
    FdGuard list(openRetry(listPath, O_RDONLY, 0, true));
    if (list.get() < 0)
        throw EFOpenError{listPath, errno};
    size_t removed = 0;
    std::string kept;
    uint8_t record[kItemRecordSize];
    while (readRecord(list.get(), record)) {
        if (drop.count(pathKey(getShortString(record + kAddressAt)))) {
            ++removed;
            continue;
        }
        kept.append(reinterpret_cast<const char*>(record), kItemRecordSize);
    }
    if (removed == 0)
        return 0;
    if (const int err = retryAttempts([&] { return writeFileAtomic(listPath, kept); }); err != 0)
        throw EFOpenError{listPath, err};
    return removed;
}

}  // namespace renvo
