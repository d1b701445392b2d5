#pragma once
// The run's host for a terminal: progress on one updating line, messages on standard error,
// Ctrl-C as the stop request.

#include <atomic>
#include <chrono>
#include <cstdio>

#include "engine/MirrorHost.h"

namespace renvo {

class RunConsole : public MirrorHost {
public:
    RunConsole(MirrorSnapshot snapshot, std::FILE* out, bool interactive);

    // Set from the SIGINT handler; read by pollStop.
    static std::atomic<bool> stopRequest;

    MirrorSnapshot takeSnapshot() override;
    void reportProgress(int phase, int position, int maximum) override;
    bool pollStop() override;
    void notifyEnd() override;
    void showError(const std::string& caption, const std::string& text, const std::string& detail) override;

private:
    void clearLine();

    MirrorSnapshot snapshot_;
    std::FILE* out_;
    bool interactive_;
    bool lineShown_ = false;
    int lastPhase_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace renvo
