#pragma once
// A main form for the window tests over a program folder and a hive of the test's own, with
// settings whose top folder and log lie in the test's folder. Header only: the programs that
// include it link the shell.

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/ListItems.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "engine/ListFile.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "shell/Clock.h"
#include "shell/Main.h"

namespace renvo::test {

class FixedClock : public Clock {
public:
    double now() const override { return 46000.5; }
};

class MovedClock : public Clock {
public:
    double now() const override { return now_; }
    void set(double t) { now_ = t; }
    void advanceMinutes(double minutes) { now_ += minutes / 1440.0; }

private:
    double now_ = FixedClock().now();
};

// The settings of a test's form: the top folder and the log in the test's folder, no window.
inline TSettings testSettings(const std::string& folder, const std::string& testFolder)
{
    TSettings s = defaultSettings(folder);
    s.MirTopFolder = testFolder + "/top";
    s.LogFile = testFolder + "/log.txt";
    s.ShowProgressDialog = false;
    return s;
}

// The item list of the program folder: one folder item over `source`, synchronised.
inline void writeFolderList(const std::string& folder, const std::string& source, const std::string& dest = "src")
{
    ASSERT_EQ(writeListFile(folder + kListFileName, {folderItem(source, dest, 1)}), 0);
}

// A main form, never shown, and not yet created.
inline std::unique_ptr<TfrmMain> makeTestHub(Prompt& prompt, const Clock& clock, const std::string& folder,
                                              const std::string& hive, const std::string& testFolder)
{
    auto hub = std::make_unique<TfrmMain>(ShellEnvironment{&prompt, &clock, folder, hive});
    hub->settings() = testSettings(folder, testFolder);
    return hub;
}

// A test of the form over the test's program folder (prog/), hive (user.reg) and src/a.txt; the
// test sets `settings`, which create() stores in the hive before the form reads them.
class HubTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        (void)forceDirectories(folder);
        settings = testSettings(folder, dir.path());
        writeFile(dir / "src/a.txt", "alpha");
    }

    void TearDown() override
    {
        if (form)
            waitForIdle();
        form.reset();
        prompt.expectAllAnswered();
    }

    void writeList(const std::string& dest = "src") { writeFolderList(folder, dir / "src", dest); }

    void create()
    {
        ScriptedPrompt quiet;
        ASSERT_TRUE(SaveSettings(settings, quiet, hive));
        form = std::make_unique<TfrmMain>(ShellEnvironment{&prompt, &clock, folder, hive});
        form->FormCreate();
    }

    void waitForIdle()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->mirroringNow(); }, 20000));
    }

    TSettings stored()
    {
        ScriptedPrompt quiet;
        return LoadSettings(folder, quiet, hive);
    }

    TempDir dir;
    std::string folder = dir.path() + "/prog/";
    std::string hive = dir / "user.reg";
    TSettings settings;
    MovedClock clock;
    ScriptedPrompt prompt;
    std::unique_ptr<TfrmMain> form;
};

}  // namespace renvo::test
