// renvo-run: one mirror run over the program folder's item list, without the tray program.
//
// Exit status: 0 completed and every copy and deletion succeeded; 1 completed with failed
// copies or deletions, source folders that could not be read, sources that are not there, or
// a history generation that could not be made; 2 wrong arguments; 3 no run was done (also a
// top folder used before that is not there now), or it was cancelled or failed.
//
// RENVO_BENCH_NO_SYNC=1 skips the run's durability step (the sync of the top folder's file
// system before anything records the copies as done): bench/durability.py times runs with and
// without it. Never for real backups: a crash may then lose copies the run counted as made.

#include "ConsolePrompt.h"
#include "RunConsole.h"

#include "engine/ListFile.h"
#include "engine/MirThread.h"
#include "platform/FileSys.h"
#include "platform/Program.h"
#include "platform/RunLock.h"
#include "runhost/RunSettings.h"
#include "settings/RunKind.h"
#include "settings/SettingsStore.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace renvo;

namespace {

void onInterrupt(int)
{
    RunConsole::interrupt();
}

int usage()
{
    std::fprintf(stderr, "usage: renvo-run [--complete]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool complete = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--complete") == 0)
            complete = true;
        else
            return usage();
    }

    const std::string folder = programFolder();
    ConsolePrompt prompt(stderr);
    SettingsStore store(folder);
    TSettings settings = store.load(prompt);

    const std::string listPath = folder + kListFileName;
    if (!pathExists(listPath)) {
        std::fprintf(stderr, "リストファイルがありません: %s\n", listPath.c_str());
        return 3;
    }

    // Ctrl-C while waiting for nothing: the handler only ever sets the stop request.
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    RunLock lock = RunLock::tryAcquire(folder);
    if (!lock.held()) {
        std::fprintf(stderr, "%s\n", lock.refusal().c_str());
        return 3;
    }

    // The counter is stored before the run, so a run that is killed still counts. Only what
    // this program changed is written: the tray program may hold newer settings of its own.
    const bool completeRun = chooseCompleteRun(settings, complete);
    store.save(settings, prompt);

    MirrorSnapshot snapshot = snapshotOf(settings, !completeRun);
    // For the benchmark alone: the same run without its durability step, to time what it costs.
    if (const char* skip = std::getenv("RENVO_BENCH_NO_SYNC"); skip && std::strcmp(skip, "1") == 0)
        snapshot.durable = false;
    RunConsole console(snapshot, stderr, stderrIsTerminal());
    TMirror mirror(console, console, folder, settings.TaskPriority);
    const RunOutcome outcome = console.watch(mirror);

    switch (outcome.end) {
    case RunEnd::Completed:
        return outcome.complete() ? 0 : 1;
    case RunEnd::Failed:
    case RunEnd::TopUnavailable:
        std::fprintf(stderr, "%s\n", outcome.error.c_str());
        return 3;
    default:
        return 3;
    }
}
