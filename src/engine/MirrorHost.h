#pragma once
// What a run needs from the program that starts it. The tray program runs these on its GUI
// thread (blocking queued calls); renvo-run and the tests answer them directly.

#include <cstdint>
#include <string>

#include "settings/Settings.h"

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
};

MirrorSnapshot snapshotOf(const TSettings& settings, bool standardRun);

class MirrorHost {
public:
    virtual ~MirrorHost() = default;
    // Clears the stop request, holds the scheduler, starts the tray animation, and returns
    // the settings of the run.
    virtual MirrorSnapshot takeSnapshot() = 0;
    // Called at every change of phase, position or maximum; a host may coalesce them.
    virtual void reportProgress(int phase, int position, int maximum) = 0;
    // The stop request; must be cheap (an atomic read).
    virtual bool pollStop() = 0;
    // Once at the end of every run that took a snapshot: animation off, scheduler on,
    // last-run time = now.
    virtual void notifyEnd() = 0;
    // A message box of the run: caption and text as the user sees them ("\r\n" line breaks);
    // `detail` names the file concerned where there is one.
    virtual void showError(const std::string& caption, const std::string& text, const std::string& detail) = 0;
    virtual void setBusyCursor(bool /*busy*/) {}
};

}  // namespace renvo
