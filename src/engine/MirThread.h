#pragma once
// TMirror: one mirror run over the item list, on a thread of its own or the caller's.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/MirrorHost.h"

namespace renvo {

// Raised at a poll point when the stop request is set.
struct EMirStop {
    const char* message = "Error";
};

enum class RunEnd {
    NotRun,      // no list file: nothing happened
    Completed,
    Cancelled,
    OpenError,   // a file of the program's own could not be opened
    Failed,      // any other error (such as an unreadable old log)
};

struct RunOutcome {
    RunEnd end = RunEnd::NotRun;
    size_t copies = 0;
    size_t failedCopies = 0;
    size_t deletions = 0;
    size_t failedDeletions = 0;
    size_t droppedItems = 0;
    std::string error;  // the fatal error of a failed run
};

class TMirror {
public:
    enum Phase { phPrepare = 0, phCheck = 1, phMirror = 2, phDelete = 3, phHistory = 4 };

    // programFolder ends with the delimiter; taskPriority as the setting holds it.
    TMirror(MirrorHost& host, std::string programFolder, int taskPriority = 2);
    ~TMirror();
    TMirror(const TMirror&) = delete;
    TMirror& operator=(const TMirror&) = delete;

    // The run on the calling thread.
    RunOutcome run();
    // The run on a thread of its own at the task priority; onTerminate runs on that thread
    // after the run has ended, and may free this object.
    void start(std::function<void(const RunOutcome&)> onTerminate);
    void join();

    static const char* phaseCaption(int phase);

private:
    void body(RunOutcome& outcome);
    void report();
    void poll();

    MirrorHost& host_;
    std::string folder_;
    int taskPriority_;
    int phase_ = phPrepare;
    int position_ = 0;
    int maximum_ = 0;
    std::thread thread_;
    std::mutex startMutex_;
};

}  // namespace renvo
