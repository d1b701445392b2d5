#include "engine/History.h"

#include "platform/FileSys.h"
#include "platform/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace renvo {

namespace {

// Empties a folder given as a descriptor, depth first, without following links.
void removeContents(int dfd, int depth)
{
    DIR* d = ::fdopendir(dfd);
    if (!d) {
        ::close(dfd);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            isDir = ::fstatat(::dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.emplace_back(n, isDir);
    }
    for (const auto& [name, isDir] : entries) {
        if (isDir && depth < 900) {  // each level holds a descriptor
            const int sub = ::openat(::dirfd(d), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                removeContents(sub, depth + 1);
            ::unlinkat(::dirfd(d), name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(::dirfd(d), name.c_str(), 0);
        }
    }
    ::closedir(d);
}

}  // namespace

std::string generationFolder(const std::string& top, int n)
{
    return joinPath(top, "History" + std::to_string(n));
}

void removeTree(const std::string& folder)
{
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dfd < 0) {
        deleteFile(folder);  // a link in the folder's place goes, its target stays
        return;
    }
    removeContents(dfd, 0);
    removeDirectory(folder);
}

void historyStep(const std::string& top, int limitHistory, const UpdateList& updated,
                 const std::function<void()>& advance)
{
    const std::string latest = joinPath(top, "Latest");
    if (limitHistory > 0 && directoryExists(latest)) {
        if (updated.empty())
            return;
        const std::string oldest = generationFolder(top, limitHistory);
        if (pathExists(oldest))
            removeTree(oldest);
        for (int n = limitHistory - 1; n >= 1; --n) {
            const std::string from = generationFolder(top, n);
            if (pathExists(from))
                renamePath(from, generationFolder(top, n + 1));
            advance();
        }
        const std::string first = generationFolder(top, 1);
        std::string madeFolder;
        for (const std::string& rel : updated.paths()) {
            const std::string src = joinPath(latest, rel);
            if (fileExists(src)) {
                const std::string dst = joinPath(first, rel);
                const std::string folder = extractFileDir(dst);
                if (folder != madeFolder && forceDirectories(folder) == 0)
                    madeFolder = folder;
                copyFileReplacing(src, dst);
            }
            advance();
        }
    }
    advance();
    for (int n = limitHistory + 1;; ++n) {
        const std::string gen = generationFolder(top, n);
        if (!pathExists(gen))
            break;
        removeTree(gen);
    }
}

}  // namespace renvo
