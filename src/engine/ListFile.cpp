#include "engine/ListFile.h"

#include "platform/FileSys.h"
#include "platform/OpenRetry.h"
#include "platform/Path.h"

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
    return readFully(fd, record, kItemRecordSize) == kItemRecordSize;
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
    fd_.reset(openLockedForReading(path));
    if (fd_.get() < 0)
        throw EFOpenError{path, errno};
    if (OpenFileInfo info; describeOpenFile(fd_.get(), info))
        count_ = static_cast<size_t>(info.size) / kItemRecordSize;
}

bool ListReader::next(MirrorItem& item)
{
    if (fd_.get() < 0 || read_ >= count_)
        return false;
    uint8_t record[kItemRecordSize];
    if (!readRecord(fd_.get(), record))
        return false;
    ++read_;
    item = decodeItem(record);
    return true;
}

void ListReader::close()
{
    fd_.reset();
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
    return writeFileAtomic(path, data).error();
}

ListFilterResult filterListFile(const std::string& folder,
                                const std::function<bool(const MirrorItem& item, size_t index)>& keep,
                                const std::function<void(size_t records)>& counted)
{
    const std::string listPath = includeTrailingDelimiter(folder) + kListFileName;

    // The list stays locked until the new one has replaced it.
    FdGuard list(openLockedForReading(listPath));
    OpenFileInfo info;
    if (list.get() < 0 || !describeOpenFile(list.get(), info))
        throw EFOpenError{listPath, errno};
    ListFilterResult result;
    result.records = static_cast<size_t>(info.size) / kItemRecordSize;
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
    if (const Status replaced = replaceFileThrough(backup, target, kept, info.mode); !replaced)
        throw EFOpenError{listPath, replaced.error()};
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
