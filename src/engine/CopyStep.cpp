#include "engine/CopyStep.h"

#include "platform/FileSys.h"
#include "platform/CanonicalPath.h"
#include "platform/Path.h"

#include <cerrno>
#include <deque>
#include <optional>

namespace renvo {

int CopyStep::copy(const std::string& source, const std::string& destination)
{
    const std::string folder = extractFileDir(destination);
    if (folder != lastFolder_) {
        lastFolder_.clear();
        session_.forget();  // the next copy opens the folder checked here
        // A link left in the mirror where the source now has a folder must not carry the copy
        // (and the folders made for it) anywhere else.
        if (!isSameOrInside(canonicalPath(folder), root_))
            return ELOOP;
        if (forceDirectories(folder))
            lastFolder_ = folder;
    }
    const int err = session_.copy(source, destination).error();
    if (err != 0) {
        lastFolder_.clear();  // the folder may have gone meanwhile
        session_.forget();
    }
    return err;
}

// One copy at a time handed over by the owner; the owner waits for its outcome.
class PairedCopies::Worker {
public:
    explicit Worker(const std::string& root) : step_(root), thread_([this] { loop(); }) {}
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void give(Entry e)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            entry_ = std::move(e);
            given_ = true;
        }
        cv_.notify_all();
    }
    bool finished()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_;
    }
    // The outcome of the copy given last, once it has ended; the entry goes back to the owner.
    int take(Entry& e)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return finished_; });
        finished_ = false;
        e = std::move(entry_);
        return err_;
    }

private:
    void loop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return given_ || quit_; });
            if (!given_)
                return;
            const Entry e = entry_;
            lock.unlock();
            const int err = step_.copy(e.source, e.destination);
            lock.lock();
            err_ = err;
            given_ = false;
            finished_ = true;
            cv_.notify_all();
        }
    }

    CopyStep step_;
    std::mutex mutex_;
    std::condition_variable cv_;
    Entry entry_;
    int err_ = 0;
    bool given_ = false, finished_ = false, quit_ = false;
    std::thread thread_;  // last: it starts once the rest is made
};

PairedCopies::PairedCopies(std::string root) : own_(root), worker_(std::make_unique<Worker>(root)) {}

PairedCopies::~PairedCopies() = default;

void PairedCopies::run(size_t count, const Hooks& hooks)
{
    // The worker's entry comes before every entry the calling thread copied since it was given:
    // those wait (a few at most) until the worker's outcome has gone out.
    std::optional<size_t> given;
    std::deque<std::pair<size_t, std::pair<Entry, int>>> mine;
    // Nothing is left in flight before `done` runs: it may throw.
    auto flushWorker = [&] {
        Entry e;
        const int err = worker_->take(e);
        const size_t k = *given;
        given.reset();
        std::deque<std::pair<size_t, std::pair<Entry, int>>> ready;
        ready.swap(mine);
        hooks.done(k, e, err);
        for (auto& [j, outcome] : ready)
            hooks.done(j, outcome.first, outcome.second);
    };
    size_t k = 0;
    try {
        while (k < count) {
            if (given && worker_->finished())
                flushWorker();
            if (given && mine.size() >= kAhead) {
                flushWorker();
                continue;
            }
            hooks.before(k);
            Entry e;
            if (!hooks.entry(k, e)) {
                ++k;
                continue;
            }
            if (!given) {
                worker_->give(std::move(e));
                given = k++;
                continue;
            }
            const int err = own_.copy(e.source, e.destination);
            mine.emplace_back(k++, std::make_pair(std::move(e), err));
        }
    } catch (...) {
        if (given)
            flushWorker();
        throw;
    }
    if (given)
        flushWorker();
}

}  // namespace renvo
