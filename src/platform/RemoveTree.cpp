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

namespace renvo {

void BackgroundRemoval::remove(std::string folder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(folder));
    if (busy_)
        return;
    // The thread before has taken its last folder and only ends now.
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    thread_ = std::thread(&BackgroundRemoval::work, this);
}

void BackgroundRemoval::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty()) {
        const std::string folder = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        removeTree(folder);
        lock.lock();
    }
    busy_ = false;
    idle_.notify_all();
}

void BackgroundRemoval::join()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !busy_; });
    if (thread_.joinable())
        thread_.join();
}

}  // namespace renvo
