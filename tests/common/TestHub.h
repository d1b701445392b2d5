#pragma once
// A main form for the window tests, never shown: the test's prompt, a clock that stands still,
// a program folder and a hive of the test's own, and settings whose top folder and log lie in
// the test's folder. Header only: the programs that include it link the shell.

#include <memory>
#include <string>

#include "settings/Settings.h"
#include "shell/Clock.h"
#include "shell/Main.h"

namespace renvo::test {

class FixedClock : public Clock {
public:
    double now() const override { return 46000.5; }
};

inline std::unique_ptr<TfrmMain> makeTestHub(Prompt& prompt, const Clock& clock, const std::string& folder,
                                              const std::string& hive, const std::string& testFolder)
{
    ShellEnvironment env;
    env.prompt = &prompt;
    env.clock = &clock;
    env.programFolder = folder;
    env.hivePath = hive;
    auto hub = std::make_unique<TfrmMain>(env);
    hub->settings() = defaultSettings(folder);
    hub->settings().MirTopFolder = testFolder + "/top";
    hub->settings().LogFile = testFolder + "/log.txt";
    hub->settings().ShowProgressDialog = false;
    return hub;
}

}  // namespace renvo::test
