#include "engine/CopyStep.h"

#include "platform/FileSys.h"
#include "platform/CanonicalPath.h"
#include "platform/Path.h"

#include <cerrno>
#include <deque>
#include <vector>
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

// Batches of copies handed over by the owner; the owner waits for their outcomes.
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
    void give(std::vector<Entry> batch, std::vector<size_t> keys)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch_ = std::move(batch);
            keys_ = std::move(keys);
            errs_.clear();
            given_ = true;
        }
        cv_.notify_all();
    }
    bool busy() const { return busy_; }  // owner only: a batch is given and not taken back
    bool finished()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_;
    }
    // Once the batch has ended: its entries, their keys and outcomes.
    void take(std::vector<Entry>& batch, std::vector<size_t>& keys, std::vector<int>& errs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return finished_; });
        finished_ = false;
        busy_ = false;
        batch = std::move(batch_);
        keys = std::move(keys_);
        errs = std::move(errs_);
    }
    void markBusy() { busy_ = true; }

private:
    void loop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return given_ || quit_; });
            if (!given_)
                return;
            given_ = false;
            // The batch is the worker's alone until it is finished: the owner waits for that.
            std::vector<Entry>& batch = batch_;
            std::vector<int>& errs = errs_;
            lock.unlock();
            for (const Entry& e : batch)
                errs.push_back(step_.copy(e.source, e.destination));
            lock.lock();
            finished_ = true;
            cv_.notify_all();
        }
    }

    CopyStep step_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Entry> batch_;
    std::vector<size_t> keys_;
    std::vector<int> errs_;
    bool busy_ = false;  // owner's own
    bool given_ = false, finished_ = false, quit_ = false;
    std::thread thread_;  // last: it starts once the rest is made
};

PairedCopies::PairedCopies(std::string root) : own_(root), worker_(std::make_unique<Worker>(root)) {}

PairedCopies::~PairedCopies() = default;

void PairedCopies::run(size_t count, const Hooks& hooks)
{
    // The worker's batch comes before every entry the calling thread copied since it was
    // given: those wait until the batch's outcomes have gone out.
    std::deque<std::pair<size_t, std::pair<Entry, int>>> mine;
    // Nothing is left in flight before `done` runs: it may throw.
    auto flushWorker = [&] {
        std::vector<Entry> batch;
        std::vector<size_t> keys;
        std::vector<int> errs;
        worker_->take(batch, keys, errs);
        std::deque<std::pair<size_t, std::pair<Entry, int>>> ready;
        ready.swap(mine);
        for (size_t i = 0; i < batch.size(); ++i)
            hooks.done(keys[i], batch[i], errs[i]);
        for (auto& [j, outcome] : ready)
            hooks.done(j, outcome.first, outcome.second);
    };
    size_t k = 0;
    try {
        while (k < count) {
            if (worker_->busy() && (mine.size() >= kAhead || worker_->finished())) {
                flushWorker();
                continue;
            }
            if (!worker_->busy()) {
                std::vector<Entry> batch;
                std::vector<size_t> keys;
                auto give = [&] {
                    if (!batch.empty()) {
                        worker_->markBusy();
                        worker_->give(std::move(batch), std::move(keys));
                    }
                };
                try {
                    while (batch.size() < kBatch && k < count) {
                        hooks.before(k);
                        Entry e;
                        if (hooks.entry(k, e)) {
                            batch.push_back(std::move(e));
                            keys.push_back(k);
                        }
                        ++k;
                    }
                } catch (...) {
                    give();  // the entries admitted before the throw are copied all the same
                    throw;
                }
                give();
                continue;
            }
            hooks.before(k);
            Entry e;
            if (hooks.entry(k, e)) {
                const int err = own_.copy(e.source, e.destination);
                mine.emplace_back(k, std::make_pair(std::move(e), err));
            }
            ++k;
        }
    } catch (...) {
        if (worker_->busy()) {
            flushWorker();
        } else {
            std::deque<std::pair<size_t, std::pair<Entry, int>>> ready;
            ready.swap(mine);
            for (auto& [j, outcome] : ready)
                hooks.done(j, outcome.first, outcome.second);
        }
        throw;
    }
    if (worker_->busy())
        flushWorker();
    for (auto& [j, outcome] : mine)
        hooks.done(j, outcome.first, outcome.second);
}

}  // namespace renvo
