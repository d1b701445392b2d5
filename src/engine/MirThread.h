#pragma once
// TMirror: one mirror run over the item list, on a thread of its own or the caller's.
//
// The object that starts a run owns it: it may read the progress and request a stop from
// any thread, and it joins the run (the destructor joins too). A GUI owner learns of the end
// through the end handler, which runs on the run thread and must not destroy the TMirror:
// it can post a queued signal whose slot joins and frees it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/MirrorHost.h"
#include "prompt/Prompt.h"

namespace renvo {

enum class RunEnd {
    NotRun,      // no list file: nothing happened
    Completed,
    Cancelled,
    OpenError,   // a file of the program's own could not be opened
    Failed,      // any other error (such as an unreadable old log)
    TopUnavailable,  // the top folder used before is not there (a drive not mounted): nothing written
};

struct RunOutcome {
    RunEnd end = RunEnd::NotRun;
    size_t copies = 0;
    size_t failedCopies = 0;
    size_t deletions = 0;
    size_t failedDeletions = 0;
    size_t droppedItems = 0;
    size_t unreadableFolders = 0;  // source folders whose files are missing from the backup
    size_t skippedItems = 0;       // records the run did not trust
    size_t unavailableItems = 0;   // items whose source is not there: their mirror was left alone
    size_t failedHistory = 0;      // copies into the new generation (or its rotation) that failed
    std::string error;  // the fatal error of a failed run (or why the top folder was refused)
    std::string logError;  // why the log could not be written (its lines are lost); empty when it was

    // Everything due was copied and deleted: no failure, no folder left unread, no record
    // skipped, no source missing, the history made.
    bool complete() const
    {
        return failedCopies == 0 && failedDeletions == 0 && unreadableFolders == 0 && skippedItems == 0 &&
               unavailableItems == 0 && failedHistory == 0;
    }
};

class RunBody;

class TMirror {
public:
    // programFolder with or without the trailing delimiter; taskPriority as the setting holds it.
    // The run's message boxes (cancel, file-open error, table errors) go to `prompt`.
    TMirror(MirrorHost& host, Prompt& prompt, std::string programFolder, int taskPriority = 2);
    ~TMirror();
    TMirror(const TMirror&) = delete;
    TMirror& operator=(const TMirror&) = delete;

    // The run on the calling thread.
    RunOutcome run();
    // The run on a thread of its own at the task priority. onEnd runs on that thread once the
    // outcome is ready; it must not destroy this object.
    void start(std::function<void()> onEnd = {});
    // Waits for the run begun by start() and gives its outcome.
    RunOutcome join();
    // True once the run begun by start() has ended (waiting at most `timeout`).
    bool waitFor(std::chrono::milliseconds timeout);

    // Any thread, any time: the run stops at its next poll point.
    void requestStop() { stop_.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
    // Any thread; never blocks. A consistent phase, position and maximum.
    RunProgress progress() const;

private:
    friend class RunBody;
    // Run thread only.
    void publish(RunPhase phase, int position, int maximum);

    MirrorHost& host_;
    Prompt& prompt_;
    std::string folder_;
    int taskPriority_;
    std::atomic<bool> stop_{false};

    // A sequence lock: odd while the one writer changes the values, so a reader retries
    // instead of seeing a phase with another phase's position.
    std::atomic<unsigned> progressSeq_{0};
    std::atomic<int> phase_{0}, position_{0}, maximum_{0};

    std::thread thread_;
    std::mutex endMutex_;
    std::condition_variable endCv_;
    bool ended_ = false;
    RunOutcome outcome_;
};

}  // namespace renvo
