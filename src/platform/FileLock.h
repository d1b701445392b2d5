#pragma once
// Advisory whole-file locks (flock) for the program's own lock files and exclusive opens.
// The kernel drops a lock when its last descriptor closes, so a crashed holder frees it.

#include <string>

namespace renvo {

// Takes an exclusive lock on fd: without waiting, a lock held elsewhere gives EWOULDBLOCK;
// with waiting, the call returns once the holder lets go. An interrupted call is repeated.
// 0 or errno.
int lockFile(int fd, bool wait);

// Opens a lock file, creating it with newFileMode when missing. A lock file made earlier
// that may not be written now (read-only folder, file or file system) is opened read-only:
// flock needs no write access. The descriptor, or -1 with errno set.
int openLockFile(const std::string& path, unsigned newFileMode);

}  // namespace renvo
