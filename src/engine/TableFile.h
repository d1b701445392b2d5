#pragma once
// The table file: the cached file lists of table-mode folders, in 257-byte records.
// A block is a start record (type 1, the item's address), one entry (type 0) per listed
// file, and an end record (type 1, "dummy but needed").

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileNames.h"
#include "platform/OpenRetry.h"

namespace renvo {

constexpr size_t kTableRecordSize = 257;
constexpr const char* kTableEndText = "dummy but needed";

class TableBuffer {
public:
    enum class Lookup { Found, NotFound, SearchError, ReadError };

    // Opens the saved table; a missing file leaves the table empty. Throws EFOpenError when
    // the file exists but cannot be read. The loaded part is read from the open file as it is
    // needed, never held whole (a table of a million files is 257 MB); only what is recorded
    // in this run is kept in memory.
    void load(const std::string& path);
    // Atomic replace. 0 or errno.
    int save(const std::string& path) const;

    // The file list recorded for this address (letter case counts). An error means the table
    // is damaged where it was found (a cut-off or foreign record, a block without its end
    // record): that part is dropped, so the folder's fresh block, recorded next, is the one
    // later look-ups find, and no block is ever appended after a cut-off one.
    Lookup lookup(const std::string& address, std::vector<std::string>& files);
    // The same handing each listed path to `each` as it is read; what it got is void unless
    // the result is Found.
    Lookup lookup(const std::string& address, const std::function<void(std::string_view)>& each);

    // Appends a block. Returns false without recording anything when a path does not fit a
    // record (over 255 bytes): such a folder is scanned every time instead.
    bool record(const std::string& address, const std::vector<std::string>& files);
    // The same for `count` paths given one by one by `path` (called twice for each).
    bool record(const std::string& address, size_t count, const std::function<std::string(size_t)>& path);

    // The table's bytes as save would write them; empty when they cannot be read.
    std::string bytes() const;
    bool empty() const { return size() == 0; }

    // False while the buffer still holds exactly the saved file: rewriting it would change nothing.
    bool needsSave() const { return changed_ || !fromFile_; }

private:
    struct Record {
        unsigned char type = 0xFF;  // 0xFF: cut off or unreadable
        std::string_view text;
    };
    size_t size() const { return loaded_ + spilled_ + added_.size(); }
    // The record at offset; its text stays valid until the next call.
    Record recordAt(size_t offset) const;
    // Copies the first `length` bytes of `from` to fd; false with errno on failure.
    static bool copyRange(int from, size_t length, int fd);
    // Fills the window with the bytes of `from` (a segment starting at table offset `base`)
    // from table offset `offset`; false when not a whole record could be read.
    bool fillWindow(int from, size_t base, size_t length, size_t offset) const;
    // Moves the recorded blocks held in memory to the spill file once they are many.
    void spillAdded();
    void appendRecord(unsigned char type, const std::string& text);
    // After a broken block was taken out, the part behind it has not been searched: cuts it
    // where a search would meet damage, or at a further block of `address`, so that a block
    // recorded next is neither appended after a cut-off one nor found after a stale one.
    void dropUnsearched(size_t from, const std::string& address);
    void truncate(size_t size);
    // Takes the bytes [from, to) out (the rare repair of a block in the middle): the loaded part
    // is read into memory first.
    void erase(size_t from, size_t to);

    FdGuard file_;             // the loaded table, open since load
    size_t loaded_ = 0;        // bytes of it still in the table
    std::string folder_;       // where the table lives: its spill file is made there
    FdGuard spill_;            // blocks recorded in this run, once they outgrow memory
    size_t spilled_ = 0;
    std::string added_;        // bytes after them: blocks recorded since
    mutable std::string window_;  // a piece of the file around the last record read
    mutable size_t windowAt_ = 0;
    bool changed_ = false;
    bool fromFile_ = false;
};

}  // namespace renvo
