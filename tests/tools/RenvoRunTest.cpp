// renvo-run end to end: the real program on real folders, with its own hive and program folder.

#include "common/ListItems.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "engine/ListFile.h"
#include "platform/FileSys.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

using namespace renvo;
using namespace renvo::test;

namespace {

struct Result {
    int status = -1;
    std::string err;
};

class RenvoRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* bin = std::getenv("RENVO_TEST_BIN");
        binary_ = std::string(bin ? bin : ".") + "/renvo-run";
        if (::access(binary_.c_str(), X_OK) != 0)
            GTEST_SKIP() << "renvo-run not built at " << binary_;
        home_ = dir_ / "home";
        cfg_ = dir_ / "cfg";
        src_ = dir_ / "src";
        ::mkdir(home_.c_str(), 0755);
        ::mkdir(cfg_.c_str(), 0755);
    }

    std::string top() const { return home_ + "/Mirrored Files"; }

    void writeList(const std::vector<MirrorItem>& items)
    {
        ASSERT_EQ(writeListFile(home_ + "/_rvffl2", items), 0);
    }

    MirrorItem srcItem() const { return folderItem(src_, "src", 1); }

    // Starts renvo-run; returns its pid and the read end of its standard error.
    pid_t spawn(const std::vector<std::string>& args, int& errFd)
    {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(pipeFds[1], STDERR_FILENO);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            ::setenv("RENVO_HOME", home_.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", cfg_.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(binary_.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(binary_.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        errFd = pipeFds[0];
        return pid;
    }

    Result finish(pid_t pid, int errFd)
    {
        Result r;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(errFd, buf, sizeof buf)) > 0)
            r.err.append(buf, static_cast<size_t>(n));
        ::close(errFd);
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    Result run(const std::vector<std::string>& args = {})
    {
        int errFd = -1;
        const pid_t pid = spawn(args, errFd);
        return finish(pid, errFd);
    }

    TempDir dir_;
    std::string binary_, home_, cfg_, src_;
};

TEST_F(RenvoRun, ArgumentsAndMissingListAreRefused)
{
    EXPECT_EQ(run({"--bogus"}).status, 2);
    const Result noList = run();
    EXPECT_EQ(noList.status, 3);
    EXPECT_NE(noList.err.find("_rvffl2"), std::string::npos);
}

TEST_F(RenvoRun, MirrorsCountsRunsAndTurnsEveryOtherIntoACompleteRun)
{
    writeFile(src_ + "/a.txt", "a");
    writeFile(src_ + "/sub/b.txt", "b");
    writeList({srcItem()});
    writeFile(cfg_ + "/Tovan/user.reg",
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n\"EveryTimes\"=dword:00000001\n"
              "\"TaskPriority\"=dword:00000002\n");

    const Result first = run();
    EXPECT_EQ(first.status, 0) << first.err;
    // No Mirroring value yet: the first-run message is printed, not asked.
    EXPECT_NE(first.err.find("作者からのお願い"), std::string::npos);
    EXPECT_EQ(readFile(top() + "/Latest/src/sub/b.txt"), "b");
    EXPECT_NE(readFile(home_ + "/logfile.txt").find("種    別: 標準ミラーリング"), std::string::npos);
    EXPECT_NE(readFile(cfg_ + "/Tovan/user.reg").find("\"DoneStandard\"=dword:00000001"), std::string::npos);

    // DoneStandard has reached EveryTimes: this one is complete and fills History1.
    const Result second = run();
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.err.find("作者からのお願い"), std::string::npos);
    EXPECT_NE(readFile(home_ + "/logfile.txt").find("種    別: 完全ミラーリング"), std::string::npos);
    EXPECT_EQ(readFile(top() + "/History1/src/a.txt"), "a");
    EXPECT_NE(readFile(cfg_ + "/Tovan/user.reg").find("\"DoneStandard\"=dword:00000000"), std::string::npos);
}

TEST_F(RenvoRun, FailedCopyEndsWithStatusOne)
{
    writeFile(src_ + "/a.txt", "a");
    writeList({srcItem()});
    // A file where the item's mirror folder belongs: the copy cannot be made.
    writeFile(top() + "/Latest/src", "in the way");
    const Result r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string log = readFile(home_ + "/logfile.txt");
    EXPECT_NE(log.find("複製失敗: " + src_ + "/a.txt ->X "), std::string::npos);
    EXPECT_NE(log.find("原    因: "), std::string::npos);
    EXPECT_EQ(readFile(top() + "/Latest/src"), "in the way");
}

// Runs that do nothing end with status 3 and say why in Japanese, naming the folder.
TEST_F(RenvoRun, TopFolderThatCannotBeUsedEndsWithStatusThree)
{
    writeFile(src_ + "/a.txt", "a");
    writeList({srcItem()});
    ASSERT_EQ(run().status, 0);
    const std::string hive = cfg_ + "/Tovan/user.reg";
    const std::string kept = readFile(hive);
    struct Case {
        const char* name;
        std::string top;         // the setting
        std::function<void()> before;
    };
    const std::vector<Case> cases{
        {"relative top folder", "backup", [] {}},
        {"drive of the top folder not there", top(), [&] { std::filesystem::remove_all(top()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(hive, kept + "\"MirTopFolder\"=\"" + c.top + "\"\n");
        c.before();
        const Result r = run();
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.err.find(c.top), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("ミラーリング"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("the "), std::string::npos) << "no English sentence: " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(top())) << "the top folder used before is not made again";
}

TEST_F(RenvoRun, SecondRunOnTheSameFolderIsRefused)
{
    writeFile(src_ + "/a.txt", "a");
    writeList({srcItem()});
    const int fd = ::open((home_ + "/_rvlock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const Result refused = run();
    ::close(fd);
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("現在ミラーリング中です"), std::string::npos);
    EXPECT_FALSE(fileExists(top() + "/Latest/src/a.txt"));
    // The counter is not advanced by a refused run.
    EXPECT_EQ(readFile(cfg_ + "/Tovan/user.reg").find("DoneStandard"), std::string::npos);

    EXPECT_EQ(run().status, 0);
    EXPECT_TRUE(fileExists(top() + "/Latest/src/a.txt"));
}

TEST_F(RenvoRun, InterruptCancelsAtTheNextStopPoint)
{
    writeFile(src_ + "/a.txt", "a");
    writeList({srcItem()});
    // The update list is a pipe: the run waits in its loading until the test has sent the
    // interrupt, and sees it at the first stop point after that.
    ASSERT_EQ(::mkfifo((home_ + "/_update").c_str(), 0644), 0);

    int errFd = -1;
    const pid_t pid = spawn({}, errFd);
    ASSERT_GT(pid, 0);
    const int w = ::open((home_ + "/_update").c_str(), O_WRONLY);  // returns once the run opened it
    ASSERT_GE(w, 0);
    ::kill(pid, SIGINT);
    ASSERT_EQ(::write(w, "old.txt\r\n", 9), 9);
    ::close(w);
    const Result r = finish(pid, errFd);

    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("ミラーリング中止"), std::string::npos);
    EXPECT_NE(r.err.find("キャンセルしました"), std::string::npos);
    EXPECT_FALSE(fileExists(top() + "/Latest/src/a.txt"));
    // The cancelled run still ends its log. Its update list is either left alone (stopped
    // while the records were read) or saved after the evaluation, with the entry of the copy
    // that never came: nothing the run may have changed is ever missing from it.
    struct stat st {};
    ASSERT_EQ(::lstat((home_ + "/_update").c_str(), &st), 0);
    if (!S_ISFIFO(st.st_mode)) {
        EXPECT_EQ(readFile(home_ + "/_update"), "old.txt\r\nsrc/a.txt\r\n");
    }
    EXPECT_NE(readFile(home_ + "/logfile.txt").find("実行終了: "), std::string::npos);
}

// The tray program's record (its store over the same hive) lives across runs of renvo-run.
TEST_F(RenvoRun, ItsCounterSurvivesTheTrayProgramsSaveAndTheTraysOwnChangeStays)
{
    writeFile(src_ + "/a.txt", "a");
    writeList({srcItem()});
    const std::string hive = cfg_ + "/Tovan/user.reg";
    writeFile(hive, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n\"Mirroring\"=dword:00000001\n"
                    "\"EveryTimes\"=dword:00000005\n\"DoneStandard\"=dword:00000001\n\"TaskPriority\"=dword:00000002\n");
    ScriptedPrompt prompt;
    SettingsStore tray(home_ + "/", hive);
    TSettings traySettings = tray.load(prompt);
    traySettings.Mirroring = false;  // the tray menu's toggle, saved at the exit

    for (int i = 0; i < 2; ++i) {
        const Result r = run();
        ASSERT_EQ(r.status, 0) << r.err;
    }
    ASSERT_TRUE(tray.save(traySettings, prompt));  // the tray's exit

    ScriptedPrompt quiet;
    const TSettings stored = LoadSettings(home_ + "/", quiet, hive);
    EXPECT_EQ(stored.DoneStandard, 3);
    EXPECT_FALSE(stored.Mirroring);
    EXPECT_EQ(traySettings.DoneStandard, 3);

    // The next run of renvo-run keeps the tray's change.
    ASSERT_EQ(run().status, 0);
    const TSettings after = LoadSettings(home_ + "/", quiet, hive);
    EXPECT_EQ(after.DoneStandard, 4);
    EXPECT_FALSE(after.Mirroring);
}

}  // namespace
