#pragma once
// The application a window test builds its window on: the test's prompt, a program folder and
// a hive of the test's own, settings whose top folder and log lie in the test's folder (a
// commit stores them in that hive), a run flag the test sets, and a record of what the windows
// asked for. Header only: the programs that include it link the GUI kit.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "guikit/IdleDetect.h"
#include "guikit/RenvoApp.h"
#include "platform/FileOperation.h"
#include "platform/FileSys.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace renvo::test {

class FakeApp : public RenvoApp {
public:
    FakeApp(Prompt& prompt, std::string folder, std::string hive, const std::string& testFolder)
        : prompt_(prompt), folder_(std::move(folder)), hive_(std::move(hive)), store_(folder_, hive_)
    {
        live = defaultSettings(folder_);
        live.MirTopFolder = testFolder + "/top";
        live.LogFile = testFolder + "/log.txt";
        live.ShowProgressDialog = false;
    }

    TSettings live;
    bool running = false;     // what mirroringNow() answers
    std::vector<bool> runs;   // the runs started, complete or not
    std::vector<std::pair<unsigned, unsigned>> helps;
    std::vector<std::pair<size_t, bool>> edits;  // the item dialogs asked for: row, restore
    // What an item dialog does with the row; unset: nothing changes.
    std::function<bool(ItemList&, size_t, bool, QWidget*)> editItemWith;
    int listEditorOpens = 0;
    int settingsDialogs = 0;
    int quits = 0;

    Prompt& prompt() override { return prompt_; }
    const std::string& programFolder() const override { return folder_; }
    const std::string& hivePath() const override { return hive_; }
    const TSettings& settings() const override { return live; }
    bool commitSettings(const TSettings& settings) override
    {
        live = settings;
        const bool saved = store_.save(live, prompt_);
        emit events_.settingsChanged();
        return saved;
    }
    RenvoAppEvents& events() override { return events_; }
    void showHelp(unsigned command, unsigned data) override { helps.emplace_back(command, data); }
    bool mirroringNow() const override { return running; }
    bool runCommand(bool complete, QWidget* owner) override
    {
        if (refusedDuringRun(*this, owner))
            return false;
        runs.push_back(complete);
        return true;
    }
    TFileOperation& fileOperation() override { return fileOp_; }
    IdleDetector& idleDetector() override { return idle_; }
    void openListEditor() override { ++listEditorOpens; }
    void openSettingsDialog(QWidget*) override { ++settingsDialogs; }
    bool editItem(ItemList& list, size_t row, bool restore, QWidget* owner) override
    {
        edits.emplace_back(row, restore);
        return editItemWith ? editItemWith(list, row, restore, owner) : false;
    }
    void quit() override
    {
        ++quits;
        emit events_.exitRequested();
    }

private:
    Prompt& prompt_;
    std::string folder_;
    std::string hive_;
    SettingsStore store_;
    RenvoAppEvents events_;
    TFileOperation fileOp_;
    IdleDetector idle_;
};

// A window test over a FakeApp with a program folder (prog/), a hive (user.reg) and src/a.txt
// in the test's folder; every box the test expected must have been asked.
class FakeAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        (void)forceDirectories(folder);
        writeFile(dir / "src/a.txt", "alpha");
        app = std::make_unique<FakeApp>(prompt, folder, hive, dir.path());
    }

    void TearDown() override
    {
        app.reset();
        prompt.expectAllAnswered();
    }

    TempDir dir;
    std::string folder = dir.path() + "/prog/";
    std::string hive = dir / "user.reg";
    ScriptedPrompt prompt;
    std::unique_ptr<FakeApp> app;
};

}  // namespace renvo::test
