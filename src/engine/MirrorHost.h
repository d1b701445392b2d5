#pragma once
// What a run needs from the program that starts it.
//
// takeSnapshot and notifyEnd block the run until the host has answered: the tray program runs
// them on its GUI thread. Everything else a host learns without a round trip: the progress is
// published by the run (TMirror::progress(), read whenever the host wants), progressChanged
// is a hint on the run thread that must never block, and the stop request is the run's own
// (TMirror::requestStop()). The run's message boxes go through the Prompt the run is given,
// and block until answered.

#include <cstdint>
#include <string>

#include "engine/RunTexts.h"

namespace renvo {

// The settings a run copies at its start, and its kind.
struct MirrorSnapshot {
    bool standardRun = true;
    bool LogAppend = false;
    bool KeepLogFile = true;
    std::string LogFile;
    int32_t LimitHistory = 3;
    bool DelOnNotExists = true;
    std::string MirTopFolder;
    uint8_t FolderOption = 1;
    // The copies reach the disk before anything records them as done (one sync of the top
    // folder's file system). Off only to measure what that costs.
    bool durable = true;
};

struct RunProgress {
    RunPhase phase = RunPhase::Prepare;
    int position = 0;
    int maximum = 0;
    bool operator==(const RunProgress&) const = default;
};

class MirrorHost {
public:
    virtual ~MirrorHost() = default;
    // Blocks. Holds the scheduler, starts the tray animation, and returns the settings of the run.
    virtual MirrorSnapshot takeSnapshot() = 0;
    // Blocks. Once at the end of every run that took a snapshot: animation off, scheduler on,
    // last-run time = now.
    virtual void notifyEnd() = 0;
    // Never blocks: on the run thread, after every change of phase, position or maximum (over
    // 100,000 times in a large first run). The values are the ones TMirror::progress() gives.
    virtual void progressChanged(const RunProgress& /*progress*/) {}
    // Never blocks: the hourglass cursor on at the start of a run and off at its end.
    virtual void setBusyCursor(bool /*busy*/) {}
};

}  // namespace renvo
