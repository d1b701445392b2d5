#pragma once
// A file that only grows, such as the log: every append lands whole or not at all.

#include <string>
#include <string_view>

#include "platform/OpenRetry.h"

namespace renvo {

class AppendFile {
public:
    // Opens the file for appending, creating it with `mode`, with the open attempts. 0 or errno.
    int open(const std::string& path, unsigned mode = 0644);
    // Takes over a descriptor open for writing (as writeFileAtomic hands one over).
    void adopt(int fd);
    bool isOpen() const { return fd_.get() >= 0; }
    // Appends all bytes at the end. A failed append cuts the file back to where it ended and
    // closes it, so no half-written text stays. 0 or errno.
    int append(std::string_view data);
    void close() { fd_.reset(); }

private:
    FdGuard fd_;
};

// Whether the file ends with a line feed; an empty file counts as ending with one.
// 0 or errno (the file cannot be opened or read).
int endsWithLineFeed(const std::string& path, bool& endsWithLf);

}  // namespace renvo
