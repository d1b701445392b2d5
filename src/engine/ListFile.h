#pragma once
// The item list file: fixed 780-byte records, no header, in list order.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/EFOpenError.h"
#include "platform/FileNames.h"
#include "platform/OpenRetry.h"

#include <functional>
#include <optional>

namespace renvo {

constexpr size_t kItemRecordSize = 780;

// One mirror item as stored. Flag bytes are kept as read: any nonzero value counts as set.
struct MirrorItem {
    uint8_t runFlag = 1;
    uint8_t kind = 0;  // 0 folder, nonzero file
    std::string address;
    uint8_t subfolders = 0;
    std::string masks;
    uint8_t folderOption = 0;  // 0 inherit, 1 sync, 2 keep deleted, 3 table; above 3 acts as 2
    std::string dest;
    uint8_t everyRun = 1;

    bool runs() const { return runFlag != 0; }
    bool isFile() const { return kind != 0; }
    bool includeSubfolders() const { return subfolders != 0; }
    bool runsAlways() const { return runFlag != 0 && everyRun != 0; }
};

// A 256-byte length-prefixed string: length byte, text, zero fill. Longer text is cut to 255 bytes.
void putShortString(uint8_t* field, const std::string& text);
std::string getShortString(const uint8_t* field);

void encodeItem(const MirrorItem& item, uint8_t* record);
MirrorItem decodeItem(const uint8_t* record);

// Reads the list one record at a time, holding the file open with an exclusive lock.
class ListReader {
public:
    // Throws EFOpenError after 50 failed attempts.
    explicit ListReader(const std::string& path);
    // As the constructor, but a list file that does not exist (any more) gives nothing.
    static std::optional<ListReader> openIfExists(const std::string& path);
    ListReader(ListReader&& other) noexcept = default;
    ListReader(const ListReader&) = delete;
    ListReader& operator=(const ListReader&) = delete;

    size_t count() const { return count_; }
    // Reads the next record; false at the end (or when the file was cut meanwhile).
    bool next(MirrorItem& item);
    void close();

private:
    ListReader() = default;
    void open(const std::string& path);

    FdGuard fd_;
    size_t count_ = 0;
    size_t read_ = 0;
};

// All records of a list file (a trailing remainder shorter than a record is ignored).
// Throws EFOpenError when the file exists but cannot be opened.
std::vector<MirrorItem> readListFile(const std::string& path);

// Replaces the list file with these records through a temporary file and a rename.
// 0 or errno.
int writeListFile(const std::string& path, const std::vector<MirrorItem>& items);

// The temporary list that a rewrite fills before it replaces the list file.
inline constexpr char kListBackupName[] = "_rvbak";

// What a filtered rewrite met: the records of the list and how many it kept.
struct ListFilterResult {
    size_t records = 0;
    size_t kept = 0;
};

// Keeps the records of the list file in `folder` for which keep(item, index) is true, byte for
// byte and in order. The list stays locked while the kept records are written to _rvbak beside
// it, flushed and renamed over it, so the old list is whole until the new one has replaced it
// (a list that is a link: _rvbak lies beside the file it points to). Nothing is written when
// every record is kept. `counted`, when given, learns the number of records before the first
// one is offered to keep. Throws EFOpenError with the list's path and the errno of whatever
// failed (ENOENT for a list that does not exist); _rvbak is removed then.
ListFilterResult filterListFile(const std::string& folder,
                                const std::function<bool(const MirrorItem& item, size_t index)>& keep,
                                const std::function<void(size_t records)>& counted = {});

// Removes every record whose address is one of `addresses` (the platform's file-name rule)
// from the list file in `folder`, keeping the others in order, as filterListFile does.
// Throws EFOpenError.
// Returns the number of records removed.
size_t dropItems(const std::string& folder, const std::vector<std::string>& addresses);

}  // namespace renvo
