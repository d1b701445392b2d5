#pragma once
// The run's host for a terminal: progress on one updating line, messages on standard error,
// Ctrl-C as the stop request.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "engine/MirThread.h"
#include "engine/MirrorHost.h"
#include "prompt/Prompt.h"

namespace renvo {

class RunConsole : public MirrorHost, public Prompt {
public:
    RunConsole(MirrorSnapshot snapshot, std::FILE* out, bool interactive);

    // For the SIGINT handler: asks the watched run to stop. Async-signal-safe.
    static void interrupt();

    // Starts the run on its own thread and waits for its end, redrawing the progress line
    // at most ten times a second.
    RunOutcome watch(TMirror& mirror);

    MirrorSnapshot takeSnapshot() override;
    void notifyEnd() override;
    // Prints the box and answers its default button: nobody is asked.
    PromptAnswer ask(const PromptMessage& message) override;

private:
    void drawProgress(const RunProgress& progress);
    void clearLine();

    static std::atomic<bool> interrupted_;
    static std::atomic<TMirror*> watched_;

    MirrorSnapshot snapshot_;
    std::FILE* out_;
    bool interactive_;
    std::mutex outMutex_;  // the progress line (main thread) and the run's messages (run thread)
    bool lineShown_ = false;
    RunProgress shown_{};
};

}  // namespace renvo
