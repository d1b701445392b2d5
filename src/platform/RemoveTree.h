#pragma once
// Removal of a whole folder tree of the program's own backup layout.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace renvo {

// Removes the folder and everything below it, hidden entries included; symbolic links are
// removed, never followed (a link in the folder's own place goes, its target stays).
// Failures of single entries are passed over.
void removeTree(const std::string& folder);

// Tree removals on a thread of their own, in the order asked for: a folder already renamed
// aside goes while its owner works on (most of a removal is waiting for the disk). join()
// waits until every removal asked for is done; the destructor joins.
class BackgroundRemoval {
public:
    BackgroundRemoval() = default;
    ~BackgroundRemoval() { join(); }
    BackgroundRemoval(const BackgroundRemoval&) = delete;
    BackgroundRemoval& operator=(const BackgroundRemoval&) = delete;

    void remove(std::string folder);
    void join();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    bool busy_ = false;  // the thread runs and will take what is queued
    std::thread thread_;
};

}  // namespace renvo
