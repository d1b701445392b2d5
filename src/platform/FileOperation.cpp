#include "platform/FileOperation.h"

#include "platform/CanonicalPath.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace renvo {

namespace {

// Keeps the first failure.
void note(Status& r, const Status& s)
{
    if (r.ok() && !s.ok())
        r = s;
}

void note(Status& r, int err, const std::string& path)
{
    if (r.ok() && err != 0)
        r = Status(err, path);
}

// The path without trailing delimiters (a link named "link/" would be followed), or empty when
// it is not one the operation takes: relative, with a NUL, with a "." or ".." part, or the root.
std::string checkedPath(const std::string& path)
{
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        return {};
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p == "/")
        return {};
    size_t start = 1;
    while (start <= p.size()) {
        size_t end = p.find('/', start);
        if (end == std::string::npos)
            end = p.size();
        const std::string_view part(p.data() + start, end - start);
        if (part == "." || part == "..")
            return {};
        start = end + 1;
    }
    return p;
}

// Empties a folder given as a descriptor, depth first, through descriptors so that a folder
// swapped for a link meanwhile is removed as the link and never entered.
void emptyFolder(int dfd, const std::string& full, Status& r)
{
    DIR* d = ::fdopendir(dfd);
    if (!d) {
        note(r, errno, full);
        ::close(dfd);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (!(n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))))
            entries.emplace_back(n, e->d_type == DT_DIR || e->d_type == DT_UNKNOWN);
        errno = 0;
    }
    note(r, errno, full);
    for (const auto& [name, maybeDir] : entries) {
        const std::string path = full + "/" + name;
        if (maybeDir) {
            const int sub = ::openat(::dirfd(d), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                emptyFolder(sub, path, r);
                if (::unlinkat(::dirfd(d), name.c_str(), AT_REMOVEDIR) != 0)
                    note(r, errno, path);
                continue;
            }
            if (errno != ENOTDIR && errno != ELOOP) {
                note(r, errno, path);
                continue;
            }
        }
        if (::unlinkat(::dirfd(d), name.c_str(), 0) != 0)
            note(r, errno, path);
    }
    ::closedir(d);
}

void deletePath(const std::string& path, Status& r)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        note(r, errno, path);
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        note(r, deleteFile(path));
        return;
    }
    const int dfd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dfd < 0) {
        note(r, errno, path);
        return;
    }
    emptyFolder(dfd, path, r);
    note(r, removeDirectory(path));
}

// Copies src (a file, a link or a folder tree) to dst; links are copied as links.
void copyTree(const std::string& src, const std::string& dst, Status& r)
{
    struct stat st {};
    if (::lstat(src.c_str(), &st) != 0) {
        note(r, errno, src);
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        note(r, copyFileReplacing(src, dst).error(), dst);  // the copy is what the caller names
        return;
    }
    struct stat dst_st {};
    bool created = false;
    if (::lstat(dst.c_str(), &dst_st) == 0) {
        // A link in the target's place is not merged into: its target lies outside the copy.
        if (!S_ISDIR(dst_st.st_mode)) {
            note(r, ENOTDIR, dst);
            return;
        }
    } else if (::mkdir(dst.c_str(), 0700) != 0) {
        note(r, errno, dst);
        return;
    } else {
        created = true;
    }
    std::vector<DirEntry> entries;
    note(r, readDirectoryInto(src, false, entries));
    for (const DirEntry& e : entries)
        copyTree(src + "/" + e.name, dst + "/" + e.name, r);
    // The source's mode only now, so that a read-only folder's copy could be filled.
    if (created && ::chmod(dst.c_str(), st.st_mode & 07777) != 0)
        note(r, errno, dst);
}

Status copyPaths(const std::string& from, const std::string& to)
{
    Status r;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        note(r, errno, from);
        return r;
    }
    // Into an existing folder (the caller named it, so a link to one counts), else as `to`.
    std::string dst = to;
    if (directoryExists(to))
        dst = to + "/" + extractFileName(from);
    const std::string parent = extractFileDir(dst);
    if (S_ISDIR(st.st_mode)) {
        // A tree copied into itself would never end; checked before any folder is made.
        const std::string target = joinPath(canonicalPath(parent), extractFileName(dst));
        if (isSameOrInside(target, canonicalPath(from))) {
            note(r, EINVAL, dst);
            return r;
        }
    }
    if (const Status made = forceDirectories(parent); !made) {
        note(r, made.error(), parent);
        return r;
    }
    copyTree(from, dst, r);
    return r;
}

// The folders of `to` below `base` made or checked one by one without following a link, and
// `to` itself checked; false after noting what is in the way.
bool clearPathBelow(const std::string& base, const std::string& to, Status& r)
{
    if (const Status made = forceDirectories(base); !made) {
        note(r, made.error(), base);
        return false;
    }
    // base is "/" or has no trailing delimiter; every part below it starts at a delimiter.
    for (size_t pos = base == "/" ? 0 : base.size(); pos < to.size();) {
        const size_t end = to.find('/', pos + 1);
        const bool last = end == std::string::npos;
        const std::string part = to.substr(0, end);
        struct stat st {};
        int err = ::lstat(part.c_str(), &st) == 0 ? 0 : errno;
        if (err == ENOENT && !last && (::mkdir(part.c_str(), 0777) == 0 || errno == EEXIST))
            err = ::lstat(part.c_str(), &st) == 0 ? 0 : errno;
        if (err == 0 && S_ISLNK(st.st_mode))
            err = kLinkInTheWay;
        else if (err == 0 && !last && !S_ISDIR(st.st_mode))
            err = ENOTDIR;
        else if (err == ENOENT && last)
            err = 0;
        if (err != 0) {
            note(r, err, part);
            return false;
        }
        pos = last ? to.size() : end;
    }
    return true;
}

}  // namespace

Status TFileOperation::CopyFilesBelow(const std::string& from, const std::string& base, const std::string& to)
{
    Status r;
    const std::string source = checkedPath(from);
    const std::string target = checkedPath(to);
    // checkedPath takes no root, which is a base like any other folder here.
    std::string folder = checkedPath(base);
    if (folder.empty() && !base.empty() && base.find_first_not_of('/') == std::string::npos)
        folder.assign(1, '/');  // not = "/": GCC 12 warns falsely of an overlap there
    const bool below = !folder.empty() && !target.empty() &&
                       (folder == "/" || (target.size() > folder.size() && target.compare(0, folder.size(), folder) == 0 &&
                                          target[folder.size()] == '/'));
    if (source.empty() || !below) {
        note(r, EINVAL, source.empty() ? from : to);
        return r;
    }
    if (clearPathBelow(folder, target, r))
        copyTree(source, target, r);
    return r;
}

Status TFileOperation::CopyFiles(const std::string& from, const std::string& to)
{
    Status r;
    const std::string source = checkedPath(from);
    const std::string target = checkedPath(to);
    if (source.empty() || target.empty()) {
        note(r, EINVAL, source.empty() ? from : to);
        return r;
    }
    return copyPaths(source, target);
}

Status TFileOperation::DeleteFiles(const std::string& path)
{
    Status r;
    const std::string source = checkedPath(path);
    if (source.empty())
        note(r, EINVAL, path);
    else
        deletePath(source, r);
    return r;
}

}  // namespace renvo
