#pragma once
// File system access in the terms the engine thinks in: Win32-style attribute words,
// DOS stamps, directory searches in name order, and a copy that never leaves a torn file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace renvo {

enum FileAttr : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faDevice = 0x40,         // a pipe, socket or device: nothing to mirror
    faReparsePoint = 0x400,  // a symbolic link
};

struct DirEntry {
    std::string name;
    uint32_t attr = 0;
    int32_t stamp = -1;  // DOS stamp; only filled when asked for
};

// Every entry of a folder but "." and "..", sorted by name bytes. Attributes describe the entry
// itself and come from the entry type where that suffices: a link is a file with
// faReparsePoint whatever it points to (a link to a folder carries no directory bit), a pipe,
// socket or device carries faDevice. withStamps adds one stat per file or link for the stamp
// (a link's own) and the read-only bit.
// A folder that cannot be read yields no entries.
std::vector<DirEntry> readDirectory(const std::string& dir, bool withStamps);
// The same into `out`, whose entries are reused: a walk reads folder after folder without
// allocating names again. The status tells an empty folder from an unreadable one.
Status readDirectoryInto(const std::string& dir, bool withStamps, std::vector<DirEntry>& out);

// Stamp of a file or of a link itself (local time, DOS date-time word); -1 when it does not
// exist or is a folder.
int32_t fileStamp(const std::string& path);
// True for a pipe, socket or device (links not followed).
bool isSpecialPath(const std::string& path);
// Stamps of many files that lie together (a table's list in folder order): each folder is
// opened once and its files are looked up in it, instead of resolving every full path.
class StampReader {
public:
    StampReader() = default;
    ~StampReader();
    StampReader(const StampReader&) = delete;
    StampReader& operator=(const StampReader&) = delete;
    // As fileStamp.
    int32_t stamp(const std::string& path);

private:
    std::string folder_;
    int fd_ = -1;
    bool opened_ = false;
};

// DOS stamp of a time: local time, 2-second steps, clamped to 1980..2107.
int32_t dosStampFromUnix(int64_t seconds);

bool fileExists(const std::string& path);       // exists and is no folder (links followed)
bool directoryExists(const std::string& path);  // links followed
bool pathExists(const std::string& path);       // anything at all, links not followed

// Whether a folder holds no entry at all (reading stops at the first one): an empty mount
// point looks so. False for a folder that cannot be read.
bool folderIsEmpty(const std::string& dir);
// The folder that holds `path`, read: ok when it exists, can be read and is not empty, else the
// errno (ENOENT, EACCES, ...; ENODATA for an empty folder). An item that is gone from such a
// folder has vanished; one whose folder fails this may be on a drive that is not there.
Status parentIsPresent(const std::string& path);

// True for a folder on another file system than the folder that holds it (a drive's mount
// point); links are followed.
bool isMountPoint(const std::string& path);

// Makes everything written to the file system that holds `path` durable (syncfs): one call
// for all the copies of a run instead of one flush per file.
Status syncFileSystem(const std::string& path);
// Makes a folder's own entries durable (renames into and out of it): fsync of the folder.
Status syncFolder(const std::string& path);

// Creates the folder and every missing parent, new ones with `mode` (less the umask).
// Ok when the folder exists afterwards, else the errno (ENOTDIR when a file is in the way).
Status forceDirectories(const std::string& path, unsigned mode = 0777);

// The file a path names once links are followed: up to 16 links, dangling ones too (the
// path of the missing target then). A path that is no link gives itself.
std::string followLinks(const std::string& path);

// Copies src over dst through a temporary file in dst's folder and a rename, carrying the
// modification time and the permission bits over. A failure concerns src or dst, whichever
// it met; dst is as it was then and no temporary file is left.
// A symbolic link is copied as a link (its target text and its own times), never followed.
// A source whose size or modification time moved while it was copied gives
// kChangedWhileCopying, and dst stays as it was.
Status copyFileReplacing(const std::string& src, const std::string& dst);

// Copies as copyFileReplacing does, keeping the folders of the last copy open: copies come
// folder by folder, and resolving a folder once instead of once per file saves most of the
// path lookups. forget() lets go of them (after a failure: the folder may have gone).
class CopySession {
public:
    CopySession() = default;
    ~CopySession();
    CopySession(const CopySession&) = delete;
    CopySession& operator=(const CopySession&) = delete;
    Status copy(const std::string& src, const std::string& dst);
    void forget();

private:
    struct Folder {
        std::string path;
        int fd = -1;
    };
    static int folderOf(Folder& f, const std::string& path, std::string& name);
    Folder src_, dst_;
    bool anonymous_ = true;  // files made without a name (O_TMPFILE) and linked in place
};

// A test hook: called with the source after its content has been copied, before the copy is
// checked against it. Unset in the programs.
using CopyHook = void (*)(const std::string& src);
void setCopyHook(CopyHook hook);

Status deleteFile(const std::string& path);
Status removeDirectory(const std::string& path);
// Fails (EEXIST) when `to` exists already.
Status renamePath(const std::string& from, const std::string& to);

// Writes data to path through a temporary file and a rename (fsync'd): the file holds either
// its old or its new content at every moment.
// With keepOpenFd, the new file stays open for appending and its descriptor is handed over.
// A file that did not exist gets newFileMode; an existing one keeps its mode. A link is
// followed: the file it points to is replaced.
Status writeFileAtomic(const std::string& path, const std::string& data, int* keepOpenFd = nullptr,
                       unsigned newFileMode = 0644);
// The same with the content written by `write` to the new file's descriptor (false with errno
// set when a write failed): a large file need not be held whole in memory.
Status writeFileAtomicBy(const std::string& path, const std::function<bool(int fd)>& write,
                         int* keepOpenFd = nullptr, unsigned newFileMode = 0644);

// Removes the named files and links of `folder`, each looked up from the folder opened once,
// so no link below it is followed. A read-only file (no owner write bit: the user protected
// it) and a folder are left alone, and so is whatever cannot be removed.
void removeWritableFilesIn(const std::string& folder, const std::vector<std::string>& names);

// Replaces `target` through `temp`, a fixed name in the same folder: whatever is at temp (a
// link too, never written through) is removed, data is written to a new file there with
// `mode`, flushed and renamed over target, and the folder's entries are made durable. On
// failure temp is removed and target is as it was.
Status replaceFileThrough(const std::string& temp, const std::string& target, const std::string& data,
                          unsigned mode);
// True for the name of a temporary file that a copy or an atomic write makes beside its target
// (".<name>.rvtmp-" and six characters): one found where no writer runs was left by a kill.
bool isTemporaryName(std::string_view name);
// The temporary files that copies to any of `paths` left beside them, each folder read once.
std::vector<std::string> temporariesBeside(const std::vector<std::string>& paths);
// Removes temporary files that writeFileAtomic left beside path when its writer died. Only
// for callers that know no writer of that path is running (they hold its lock).
void removeStaleTemporaries(const std::string& path);
struct ReadLimits {
    // Only a regular file is read: a folder gives EISDIR, anything else (a FIFO, a device)
    // EINVAL at once, never waiting for a writer. Otherwise whatever the path names is read
    // to its end, a FIFO once a writer has come and gone.
    bool regularOnly = false;
    size_t maxSize = SIZE_MAX;  // more gives EFBIG
};
// Reads a whole file into out. ENOENT or ENOTDIR tell that there is no such file. out is empty
// after a failure.
Status readWholeFile(const std::string& path, std::string& out, const ReadLimits& limits = {});

}  // namespace renvo
