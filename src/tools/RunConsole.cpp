#include "RunConsole.h"

#include "ConsolePrompt.h"
#include "engine/MirThread.h"

#include <string>

namespace renvo {

std::atomic<bool> RunConsole::stopRequest{false};

RunConsole::RunConsole(MirrorSnapshot snapshot, std::FILE* out, bool interactive)
    : snapshot_(std::move(snapshot)), out_(out), interactive_(interactive)
{
}

MirrorSnapshot RunConsole::takeSnapshot()
{
    // A Ctrl-C before the run took its snapshot still counts: the user wants no run.
    return snapshot_;
}

void RunConsole::reportProgress(int phase, int position, int maximum)
{
    if (!interactive_)
        return;
    const auto now = std::chrono::steady_clock::now();
    // Redraw at most ten times a second, and at every change of phase or at the end.
    if (phase == lastPhase_ && position != maximum && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastPhase_ = phase;
    lastDraw_ = now;
    std::fprintf(out_, "\r\033[K%s %d / %d", TMirror::phaseCaption(phase), position, maximum);
    std::fflush(out_);
    lineShown_ = true;
}

bool RunConsole::pollStop()
{
    return stopRequest.load(std::memory_order_relaxed);
}

void RunConsole::notifyEnd()
{
    clearLine();
}

void RunConsole::showError(const std::string& caption, const std::string& text, const std::string& detail)
{
    clearLine();
    printMessage(out_, caption, text);
    if (!detail.empty())
        std::fprintf(out_, "(%s)\n", detail.c_str());
    std::fflush(out_);
}

void RunConsole::clearLine()
{
    if (lineShown_) {
        std::fprintf(out_, "\r\033[K");
        std::fflush(out_);
        lineShown_ = false;
    }
}

}  // namespace renvo
