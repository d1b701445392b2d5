#pragma once
// The item list file: fixed 780-byte records, no header, in list order.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/EFOpenError.h"
#include "platform/FileNames.h"

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
    ListReader(ListReader&& other) noexcept;
    ~ListReader();
    ListReader(const ListReader&) = delete;
    ListReader& operator=(const ListReader&) = delete;

    size_t count() const { return count_; }
    // Reads the next record; false at the end (or when the file was cut meanwhile).
    bool next(MirrorItem& item);
    void close();

private:
    ListReader() = default;
    void open(const std::string& path);

    int fd_ = -1;
    size_t count_ = 0;
    size_t read_ = 0;
};

// All records of a list file (a trailing remainder shorter than a record is ignored).
// Throws EFOpenError when the file exists but cannot be opened.
std::vector<MirrorItem> readListFile(const std::string& path);

// Replaces the list file with these records through a temporary file and a rename.
// 0 or errno.
int writeListFile(const std::string& path, const std::vector<MirrorItem>& items);

// Removes every record whose address is one of `addresses` (the platform's file-name rule)
// from the list file in `folder`, keeping the others in order. The list stays locked while the
// kept records replace it atomically. Throws EFOpenError.
// Returns the number of records removed.
size_t dropItems(const std::string& folder, const std::vector<std::string>& addresses);

}  // namespace renvo
