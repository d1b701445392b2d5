#include "RunConsole.h"

#include "ConsolePrompt.h"

#include <string>

namespace renvo {

std::atomic<bool> RunConsole::interrupted_{false};
std::atomic<TMirror*> RunConsole::watched_{nullptr};

RunConsole::RunConsole(MirrorSnapshot snapshot, std::FILE* out, bool interactive)
    : snapshot_(std::move(snapshot)), out_(out), interactive_(interactive)
{
}

void RunConsole::interrupt()
{
    interrupted_.store(true);
    if (TMirror* mirror = watched_.load())
        mirror->requestStop();
}

RunOutcome RunConsole::watch(TMirror& mirror)
{
    watched_.store(&mirror);
    // A Ctrl-C before the run began still counts: the user wants no run.
    if (interrupted_.load())
        mirror.requestStop();
    mirror.start();
    while (!mirror.waitFor(std::chrono::milliseconds(100)))
        drawProgress(mirror.progress());
    watched_.store(nullptr);
    return mirror.join();
}

MirrorSnapshot RunConsole::takeSnapshot()
{
    return snapshot_;
}

void RunConsole::drawProgress(const RunProgress& progress)
{
    if (!interactive_)
        return;
    std::lock_guard<std::mutex> lock(outMutex_);
    if (lineShown_ && progress == shown_)
        return;
    std::fprintf(out_, "\r\033[K%s %d / %d", phaseCaption(progress.phase), progress.position, progress.maximum);
    std::fflush(out_);
    lineShown_ = true;
    shown_ = progress;
}

void RunConsole::notifyEnd()
{
    std::lock_guard<std::mutex> lock(outMutex_);
    clearLine();
}

PromptAnswer RunConsole::ask(const PromptMessage& message)
{
    std::lock_guard<std::mutex> lock(outMutex_);
    clearLine();
    return ConsolePrompt(out_).ask(message);
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
