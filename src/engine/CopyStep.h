#pragma once
// The copy step of a run: one source over its mirrored copy, creating folders as needed.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/FileSys.h"

namespace renvo {

class CopyStep {
public:
    // root: the canonical folder every copy must land in (Latest).
    explicit CopyStep(std::string root) : root_(std::move(root)) {}

    // 0 or the errno of the failure. A failed copy leaves the old copy whole; the source is
    // never changed. A pipe, socket or device is not copied (ENOTSUP). A destination folder
    // that leads out of the root through a link is refused (ELOOP) before anything is made.
    int copy(const std::string& source, const std::string& destination);

private:
    std::string root_;
    std::string lastFolder_;  // made or found by the previous copy: most copies share it
    CopySession session_;
};

// Copies a queue two at a time, the calling thread and one worker, each with a copy step of its
// own: two copies in flight keep both cores busy where one waits for the disk or the kernel.
// Everything but the copies stays on the calling thread, in queue order: `before` runs before
// an entry may start, `done` gets every outcome in queue order, whatever order the copies end in.
class PairedCopies {
public:
    struct Entry {
        std::string source, destination;
    };
    struct Hooks {
        // Fills the entry to copy for k (asked once per k, in order); false when k needs none.
        std::function<bool(size_t k, Entry& e)> entry;
        // May throw (a stop request): no entry is admitted after it; the ones admitted before
        // it are copied (a batch at most, waiting for the worker) and their outcomes reach
        // `done` in order before the exception goes on.
        std::function<void(size_t k)> before;
        std::function<void(size_t k, const Entry& e, int err)> done;  // for each entry copied
    };

    // The worker takes entries a batch at a time (one hand-over per batch, not per file), and
    // the calling thread copies at most kAhead entries past the worker's batch before it waits
    // for it: at most kMostUnreported copies have ended without `done` when the next one starts.
    static constexpr size_t kBatch = 16;
    static constexpr size_t kAhead = 16;
    static constexpr size_t kMostUnreported = kBatch + kAhead;

    explicit PairedCopies(std::string root);
    ~PairedCopies();
    PairedCopies(const PairedCopies&) = delete;
    PairedCopies& operator=(const PairedCopies&) = delete;

    void run(size_t count, const Hooks& hooks);

private:
    class Worker;
    CopyStep own_;
    std::unique_ptr<Worker> worker_;
};

}  // namespace renvo
