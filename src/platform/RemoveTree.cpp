#include "platform/RemoveTree.h"

#include "platform/FileSys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
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

void removeTree(const std::string& folder)
{
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dfd < 0) {
        (void)deleteFile(folder);  // a file or a link in the folder's place; gone already is as good
        return;
    }
    removeContents(dfd, 0);
    (void)removeDirectory(folder);
}

}  // namespace renvo
