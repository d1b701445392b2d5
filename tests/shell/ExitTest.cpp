// The tray's quit in the program's own event loop, in every state of a run that does not stop
// in time: the loop ends, nested ones included, and the settings are saved.

#include <QApplication>
#include <QPushButton>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "common/TestHub.h"
#include "engine/RunTexts.h"
#include "listedit/ListEditor.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "settings/SettingsStore.h"
#include "shell/Main.h"
#include "shell/Progress.h"

extern char** environ;

using namespace renvo;
using renvo::test::ScriptedPrompt;
using renvo::test::TempDir;
using renvo::test::writeFile;

namespace {

// Busy loops at the normal priority, more of them than the machine has processors: a run at
// the idle priority gets next to no processor time while they last.
int busyLoops()
{
    return 2 * int(std::max(1u, std::thread::hardware_concurrency()));
}

class Hogs {
public:
    explicit Hogs(int count)
    {
        for (int i = 0; i < count; ++i) {
            const char* argv[] = {"sh", "-c", "while :; do :; done", nullptr};
            pid_t pid = 0;
            if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
                pids_.push_back(pid);
        }
    }
    ~Hogs() { stop(); }
    void stop()
    {
        for (pid_t pid : pids_)
            ::kill(pid, SIGKILL);
        for (pid_t pid : pids_)
            ::waitpid(pid, nullptr, 0);
        pids_.clear();
    }

private:
    std::vector<pid_t> pids_;
};

// The run's boxes as the real ones behave: modal, with an event loop of their own, in which the
// user may still use the tray menu. The cancel box runs `whileShown` and stays until its loop
// is ended; every other box is answered at once.
class ModalPrompt : public Prompt {
public:
    std::function<void()> whileShown;
    std::vector<std::string> captions;

    PromptAnswer ask(const PromptMessage& message) override
    {
        captions.push_back(message.caption);
        if (message.caption == kCancelCaption && whileShown) {
            QEventLoop loop;
            QTimer::singleShot(0, &loop, whileShown);
            loop.exec();
        }
        return escapeAnswer(message.buttons);
    }
};

// A copy that waits until the test lets it go (the copy hook is a plain function).
std::atomic<bool> copying{false};
std::atomic<bool> releaseCopy{false};

void heldCopy(const std::string&)
{
    copying = true;
    while (!releaseCopy)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

enum class RunState { Starting, Scanning, Copying, ShowingBox };

struct ExitCase {
    const char* name;
    RunState state;
};

void PrintTo(const ExitCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExitTest : public ::testing::TestWithParam<ExitCase> {
protected:
    void SetUp() override
    {
        folder = dir.path() + "/prog/";
        (void)forceDirectories(folder);
        hive = dir / "user.reg";
        copying = false;
        releaseCopy = false;
    }
    void TearDown() override
    {
        releaseCopy = true;
        setCopyHook(nullptr);
    }

    void writeSources(int count)
    {
        for (int i = 0; i < count; ++i)
            writeFile(dir / ("src/d" + std::to_string(i / 500) + "/f" + std::to_string(i)), "x");
        test::writeFolderList(folder, dir / "src");
    }

    void create(int taskPriority)
    {
        TSettings s = test::testSettings(folder, dir.path());  // a new top folder
        s.ShowProgressDialog = true;
        s.Mirroring = true;  // no first-run box
        s.TaskPriority = taskPriority;
        ScriptedPrompt quiet;
        ASSERT_TRUE(SaveSettings(s, quiet, hive));
        form = std::make_unique<TfrmMain>(ShellEnvironment{&prompt, &clock, folder, hive});
        endEventLoopOnExitRequest(*form);
        QObject::connect(&form->events(), &RenvoAppEvents::exitRequested, [this] { ++exits; });
        form->FormCreate();
        form->settings().Mirroring = false;  // a change of this session, due at the exit
    }

    // The program's event loop until it ends, or until a generous limit says it never will.
    bool loopEnds()
    {
        bool limitReached = false;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [&] {
            limitReached = true;
            QCoreApplication::exit(1);
        });
        limit.start(60000);
        QApplication::exec();
        return !limitReached;
    }

    TempDir dir;
    std::string folder;
    std::string hive;
    test::FixedClock clock;
    ModalPrompt prompt;
    std::unique_ptr<TfrmMain> form;
    int exits = 0;
};

TEST_P(ExitTest, QuitEndsTheProgramsEventLoopAndSavesTheSettings)
{
    const RunState state = GetParam().state;
    std::unique_ptr<Hogs> hogs;
    QTimer clicks;
    QTimer windows;

    switch (state) {
    case RunState::Starting:
        // A run at the idle priority on a busy machine, quit before it took its snapshot.
        writeSources(3);
        create(5);
        hogs = std::make_unique<Hogs>(busyLoops());
        QTimer::singleShot(0, form.get(), [&] {
            form->mnuForceCompletedNow->trigger();
            form->Exit1->trigger();
        });
        break;
    case RunState::Scanning:
        // As seen in the field: a complete run of many files at the idle priority on a machine
        // kept busy, quit while it scans its item, where it sees no stop request.
        writeSources(5000);
        create(5);
        hogs = std::make_unique<Hogs>(busyLoops());
        QTimer::singleShot(0, form.get(), [&] { form->mnuForceCompletedNow->trigger(); });
        QTimer::singleShot(0, form.get(), [&] {
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return form->currentRun() && form->currentRun()->progress().phase == RunPhase::Check; },
                60000));
            form->Exit1->trigger();
        });
        break;
    case RunState::Copying:
        // A copy that outlasts the program's wait for the run. Meanwhile the user goes on
        // clicking: nothing may start a run, open a window or ask anything now.
        writeSources(3);
        setCopyHook(heldCopy);
        create(2);
        // A window opened now would hold the end up.
        windows.setInterval(10);
        QObject::connect(&windows, &QTimer::timeout, form.get(), [&] {
            if (auto* w = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a window opened: " << w->windowTitle().toStdString();
                w->close();
            }
            if (form->listEditor().current() != nullptr)
                ADD_FAILURE() << "the list editor opened";
        });
        windows.start();
        QTimer::singleShot(0, form.get(), [&] { form->mnuForceCompletedNow->trigger(); });
        QTimer::singleShot(0, form.get(), [&] {
            ASSERT_TRUE(QTest::qWaitFor([&] { return copying.load(); }, 30000));
            form->Exit1->trigger();
        });
        clicks.setInterval(10);
        QObject::connect(&clicks, &QTimer::timeout, form.get(), [&] {
            if (!form->exiting() || !form->currentRun())
                return;
            clicks.stop();
            for (QAction* a : {form->mnuEditList, form->mnuProperty, form->mnuAuto, form->mnuForceNow,
                               form->mnuForceCompletedNow, form->Exit1})
                a->trigger();
            form->trayIcon().OnDblClick();
            EXPECT_FALSE(form->runCommand(false, nullptr));  // the list editor's run command
            form->Exit1Click();                              // the list editor's quit
        });
        clicks.start();
        break;
    case RunState::ShowingBox:
        // The user cancels; while the run's cancel box is shown, the tray's quit is chosen.
        writeSources(3);
        setCopyHook(heldCopy);
        prompt.whileShown = [&] { form->Exit1->trigger(); };
        create(2);
        QTimer::singleShot(0, form.get(), [&] { form->mnuForceCompletedNow->trigger(); });
        QTimer::singleShot(0, form.get(), [&] {
            ASSERT_TRUE(QTest::qWaitFor([&] { return copying.load(); }, 30000));
            ASSERT_NE(form->progressWindow(), nullptr);
            form->progressWindow()->BitBtn1->click();
            releaseCopy = true;
        });
        break;
    }

    EXPECT_TRUE(loopEnds()) << "the quit left the program running";
    EXPECT_TRUE(form->exiting());
    EXPECT_EQ(exits, 1);
    if (state == RunState::Copying || state == RunState::ShowingBox) {
        EXPECT_NE(form->currentRun(), nullptr) << "the run ended in time: nothing was tested";
    }

    // The machine is free again: the run, asked to stop, ends at its next poll (at the idle
    // priority it still waits for whatever else the machine runs).
    if (hogs)
        hogs->stop();
    releaseCopy = true;
    ASSERT_TRUE(form->stopRun(std::chrono::milliseconds(300000)));
    EXPECT_EQ(form->progressWindow(), nullptr);
    if (form->lastOutcome()) {
        EXPECT_EQ(form->lastOutcome()->end, RunEnd::Cancelled);
    }
    if (state == RunState::ShowingBox) {
        EXPECT_EQ(prompt.captions, std::vector<std::string>{kCancelCaption});
    } else {
        EXPECT_TRUE(prompt.captions.empty());  // the run's boxes are silent while the program ends
    }

    ScriptedPrompt quiet;
    EXPECT_FALSE(LoadSettings(folder, quiet, hive).Mirroring);
    form.reset();
}

INSTANTIATE_TEST_SUITE_P(States, ExitTest,
                         ::testing::Values(ExitCase{"Starting", RunState::Starting},
                                           ExitCase{"Scanning", RunState::Scanning},
                                           ExitCase{"Copying", RunState::Copying},
                                           ExitCase{"ShowingBox", RunState::ShowingBox}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
