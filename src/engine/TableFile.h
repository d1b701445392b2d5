#pragma once
// The table file: the cached file lists of table-mode folders, in 257-byte records.
// A block is a start record (type 1, the item's address), one entry (type 0) per listed
// file, and an end record (type 1, "dummy but needed").

#include <string>
#include <vector>

#include "platform/FileNames.h"

namespace renvo {

constexpr size_t kTableRecordSize = 257;
constexpr const char* kTableEndText = "dummy but needed";

class TableBuffer {
public:
    enum class Lookup { Found, NotFound, SearchError, ReadError };

    // Loads the saved table whole; a missing file leaves the table empty. Throws EFOpenError
    // when the file exists but cannot be read.
    void load(const std::string& path);
    // Atomic replace. 0 or errno.
    int save(const std::string& path) const;

    // The file list recorded for this address (letter case counts). An error means the table
    // is damaged where it was found (a cut-off or foreign record, a block without its end
    // record): that part is dropped, so the folder's fresh block, recorded next, is the one
    // later look-ups find, and no block is ever appended after a cut-off one.
    Lookup lookup(const std::string& address, std::vector<std::string>& files);

    // Appends a block. Returns false without recording anything when a path does not fit a
    // record (over 255 bytes): such a folder is scanned every time instead.
    bool record(const std::string& address, const std::vector<std::string>& files);

    const std::string& bytes() const { return buffer_; }
    bool empty() const { return buffer_.empty(); }

    // False while the buffer still holds exactly the saved file: rewriting it would change nothing.
    bool needsSave() const { return changed_ || !fromFile_; }

private:
    void appendRecord(unsigned char type, const std::string& text);
    // After a broken block was taken out, the part behind it has not been searched: cuts it
    // where a search would meet damage, or at a further block of `address`, so that a block
    // recorded next is neither appended after a cut-off one nor found after a stale one.
    void dropUnsearched(size_t from, const std::string& address);
    void truncate(size_t size);

    std::string buffer_;
    bool changed_ = false;
    bool fromFile_ = false;
};

}  // namespace renvo
