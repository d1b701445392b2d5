#pragma once
// Opens of the program's own files: up to 50 immediate attempts before an open counts as failed.

#include <cstddef>
#include <cstdint>
#include <string>

namespace renvo {

constexpr int kOpenAttempts = 50;

// open(2) with `flags` and `mode`; with exclusive, an advisory exclusive lock is taken too
// (and an open that finds the file locked by another party counts as a failed attempt).
// Returns the descriptor, or -1 with errno set after the last attempt.
// True for a failure that another attempt may not meet: the file is locked or busy, the call
// was interrupted, the process ran short of descriptors. A name too long, a missing folder or
// a refused permission stay as they are, so they fail at once.
bool mayPassOnRetry(int err);

// Calls op (returning 0 or an errno) until it succeeds, at most kOpenAttempts times, as long
// as its failures may pass. Returns 0 or the errno of the last attempt.
template <typename Op>
int retryAttempts(Op op)
{
    int err = 0;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if ((err = op()) == 0 || !mayPassOnRetry(err))
            return err;
    }
    return err;
}

int openRetry(const std::string& path, int flags, int mode = 0644, bool exclusive = false);
// openRetry for reading under the exclusive lock: the program's own lists.
int openLockedForReading(const std::string& path);
// Opens whatever the path names for reading without waiting (a FIFO opens at once, so that
// it can be told from a file); -1 with errno.
int openForReadingNoWait(const std::string& path);
// A file without a name in `folder`, for reading and writing, mode 0600: nothing is left
// behind whatever becomes of the process. -1 with errno.
int openAnonymousFile(const std::string& folder);

// What an open descriptor names.
struct OpenFileInfo {
    bool regular = false;
    bool folder = false;
    uint64_t size = 0;
    unsigned mode = 0;  // permission bits
};
// False with errno set when the descriptor cannot be asked.
bool describeOpenFile(int fd, OpenFileInfo& info);

// Closes a descriptor on scope exit.
class FdGuard {
public:
    explicit FdGuard(int fd = -1) : fd_(fd) {}
    ~FdGuard();
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    FdGuard(FdGuard&& other) noexcept : fd_(other.release()) {}
    FdGuard& operator=(FdGuard&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    int get() const { return fd_; }
    int release() { int f = fd_; fd_ = -1; return f; }
    // Closing here keeps errno: it still tells why the operation before failed.
    void reset(int fd = -1);
    // Closes and tells whether the close succeeded (a delayed write error shows up here).
    bool close();
private:
    int fd_;
};

// Writes all bytes; false on error (errno set).
bool writeAll(int fd, const void* data, size_t size);
// Writes all bytes at offset `at`, leaving the file position alone; false on error (errno set).
bool writeAllAt(int fd, const void* data, size_t size, uint64_t at);
// Reads up to `size` bytes, from offset `at` or, when at is kAtPosition, from the file
// position on, through interruptions and short reads. Returns the count read: less than size
// at the end of the file (errno 0 then) or at a failure (errno set).
constexpr uint64_t kAtPosition = UINT64_MAX;
size_t readFully(int fd, void* data, size_t size, uint64_t at = kAtPosition);

}  // namespace renvo
