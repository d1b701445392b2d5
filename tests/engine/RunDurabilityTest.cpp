// What a run keeps safe whatever happens to it: history that never rotates away for files
// that fail to copy, limits of any size, the update list on disk before the copies, and the
// temporary files of killed runs.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <filesystem>

#include "common/Privileges.h"
#include "engine/EngineTestUtil.h"
#include "engine/History.h"
#include "platform/FileSys.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class RunDurabilityTest : public EngineTest {
protected:
    std::string gen(int64_t n, const std::string& rel = "mark.txt") const
    {
        return top + "/History" + std::to_string(n) + "/" + rel;
    }
    void makeGenerations(std::initializer_list<int> numbers)
    {
        for (int n : numbers)
            writeFile(gen(n), std::to_string(n));
    }
    Strings marks(int upTo) const
    {
        Strings out;
        for (int n = 1; n <= upTo; ++n)
            out.push_back(fs::exists(gen(n)) ? readFile(gen(n)) : fs::exists(top + "/History" + std::to_string(n)) ? "new" : "-");
        return out;
    }
};

TEST_F(RunDurabilityTest, FileThatNeverCopiesLeavesTheGenerationsAlone)
{
    source("f/x.txt");
    // A file where the item's mirror folder belongs: every copy fails.
    writeFile(latest("blocked"), "in the way");
    setList({folderItem(src + "/f", "blocked", 1, "*.*", false)});
    makeGenerations({1, 2, 3});
    for (int complete = 0; complete < 4; ++complete) {
        const RunOutcome out = run(false);
        EXPECT_EQ(out.failedCopies, 1u);
    }
    EXPECT_EQ(marks(4), (Strings{"1", "2", "3", "-"})) << "no generation is lost to a file that never arrives";
    EXPECT_EQ(readFile(updatePath()), "") << "the list is emptied all the same";

    // Once one listed file does reach Latest, the history moves on.
    source("f/x.txt");
    fs::remove(latest("blocked"));
    run(false);
    EXPECT_EQ(marks(4), (Strings{"new", "1", "2", "-"}));
    EXPECT_EQ(readFile(gen(1, "blocked/x.txt")), "x");
}

TEST_F(RunDurabilityTest, HugeLimitCostsOnlyTheGenerationsPresent)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    makeGenerations({1, 2, 5});
    writeFile(top + "/History0/x", "not a generation");
    writeFile(top + "/History03/x", "not a generation");
    writeFile(top + "/Historyx/x", "not a generation");
    writeFile(top + "/Archive12/x", "not a generation");  // a number after another word
    host.snap.LimitHistory = INT_MAX;

    const RunOutcome out = run(false);
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(marks(6), (Strings{"new", "1", "2", "-", "-", "5"}));
    EXPECT_TRUE(fs::exists(top + "/History0/x"));
    EXPECT_TRUE(fs::exists(top + "/History03/x"));
    EXPECT_TRUE(fs::exists(top + "/Archive12/x"));
    // One updated file, three generations moved, the final step.
    ASSERT_FALSE(host.reports.empty());
    EXPECT_EQ(host.reports.back(), (Report{4, 5, 5}));
    EXPECT_EQ(generationsPresent(top), (std::vector<int64_t>{1, 2, 3, 6}));
}

TEST_F(RunDurabilityTest, UpdateListIsOnDiskBeforeTheFirstCopy)
{
    source("a.txt");
    source("b.txt");
    writeFile(updatePath(), "old.txt\r\n");
    setList({folderItem(src)});
    std::string seenAtFirstCopy;
    host.onReport = [&](const Report& r) {
        if (r.phase == 2 && r.position == 1)
            seenAtFirstCopy = readFile(updatePath());
    };
    run(true);
    EXPECT_EQ(seenAtFirstCopy, "a.txt\r\nb.txt\r\nold.txt\r\n");
    EXPECT_EQ(readFile(updatePath()), "a.txt\r\nb.txt\r\nold.txt\r\n");
}

TEST_F(RunDurabilityTest, EmptiedUpdateListIsSavedRightAfterTheHistoryStep)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    std::string seenAtHistoryCopy = "unseen";
    host.onReport = [&](const Report& r) {
        if (r.phase == 4 && r.position == 1)
            seenAtHistoryCopy = readFile(updatePath());
    };
    run(false);
    EXPECT_EQ(seenAtHistoryCopy, "a.txt\r\n") << "still listed while the new generation is filled";
    EXPECT_EQ(readFile(updatePath()), "");
    EXPECT_TRUE(fs::exists(gen(1, "a.txt")));
}

TEST_F(RunDurabilityTest, TemporariesOfKilledRunsAreRemovedAtTheStart)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    const Strings stale{"._update.rvtmp-Ab12Cd", ".Renvo.ctf.rvtmp-x1y2z3", "._rvffl2.rvtmp-QwErTy"};
    for (const std::string& name : stale)
        writeFile(prog + "/" + name, std::string(1000, 'x'));
    const std::string other = writeFile(prog + "/.notes.txt.rvtmp-Ab12Cd", "someone else's");
    const std::string almost = writeFile(prog + "/._update.rvtmp-short", "not ours");

    run(true);
    for (const std::string& name : stale)
        EXPECT_FALSE(fs::exists(prog + "/" + name)) << name;
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(almost));
}

TEST_F(RunDurabilityTest, UpdateListThatCannotBeSavedIsLogged)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    host.snap.LogFile = tmp / "log.txt";
    const std::optional<RunOutcome> ran = runWithModes(true, {{prog, 0555}});
    if (!ran)
        GTEST_SKIP() << "file modes do not bind this process";
    const RunOutcome out = *ran;
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_TRUE(fs::exists(latest("a.txt")));
    // Once per file, though the update list is tried twice (before the copies and at the end);
    // the memory of the top folder too, and the run goes on without it.
    EXPECT_EQ(logLinesWith("保存失敗: "), (Strings{"保存失敗: " + prog + "/" + kUsedTopsFileName,
                                                   "保存失敗: " + updatePath(), "保存失敗: " + tablePath()}));
    EXPECT_EQ(logLinesWith("原    因: "), (Strings(3, "原    因: Permission denied")));
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {
namespace {

TEST_F(RunDurabilityTest, ControlCharactersInNamesCannotForgeLogLines)
{
    const std::string odd = source("a\n複製成功: forged\x7f.txt");
    setList({fileItem(odd)});
    run(true);
    const Strings lines = logLines();
    EXPECT_EQ(logLinesWith("複製成功: "),
              Strings{"複製成功: " + src + "/a\\x0A複製成功: forged\\x7F.txt -> " + latest("a\\x0A複製成功: forged\\x7F.txt")});
    EXPECT_EQ(readFile(latest("a\n複製成功: forged\x7f.txt")), "x") << "the file itself keeps its name";
}

TEST_F(RunDurabilityTest, UnreadableFolderMakesTheRunIncomplete)
{
    source("t/a.txt");
    source("t/locked/b.txt");
    setList({folderItem(src + "/t", "", 1)});
    EXPECT_TRUE(run(true).complete());
    const std::optional<RunOutcome> ran = runWithModes(true, {{src + "/t/locked", 0}});
    if (!ran)
        GTEST_SKIP() << "file modes do not bind this process";
    const RunOutcome out = *ran;
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(out.failedCopies, 0u);
    EXPECT_EQ(out.unreadableFolders, 1u);
    EXPECT_FALSE(out.complete()) << "files are missing from the backup";
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {
namespace {

TEST_F(RunDurabilityTest, OverlongLogPathFailsEachWriteAtOnceAndTheRunGoesOn)
{
    source("a.txt");
    source("b.txt");
    setList({folderItem(src)});
    host.snap.LogFile = tmp / (std::string(1 << 20, 'l') + "/log.txt");
    prompt.expect(kLogWriteErrorCaption, PromptAnswer::Ok);  // once, at the end: the log is lost
    const RunOutcome out = run(true);
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(out.copies, 2u);
    EXPECT_EQ(readFile(latest("b.txt")), "x");
    EXPECT_EQ(out.logError, "File name too long");
    prompt.expectAllAnswered();
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {
namespace {

TEST_F(RunDurabilityTest, ScrapsOfKilledCopiesInTheMirrorGoWithTheNextRun)
{
    source("keep/a.txt");
    source("table/b.txt");
    source("sync/c.txt");
    source("single.txt");
    setList({folderItem(src + "/keep", "keep", 2), folderItem(src + "/table", "table", 3),
             folderItem(src + "/sync", "sync", 1), fileItem(src + "/single.txt", "one")});
    run(false);
    const Strings scraps{latest("keep/.a.txt.rvtmp-Ab12Cd"), latest("table/.b.txt.rvtmp-x1y2z3"),
                         latest("sync/.c.txt.rvtmp-QwErTy"), latest("one/.single.txt.rvtmp-ZZZZZZ"),
                         top + "/.History1.rvtmp/keep/a.txt"};
    for (const std::string& s : scraps)
        writeFile(s, "torn");
    const std::string notOurs = writeFile(latest("keep/.a.txt.rvtmp-short"), "a user's file");
    // The same names at a source are the user's: never listed, never deleted.
    const std::string atSource = writeFile(src + "/sync/.d.txt.rvtmp-AAAAAA", "at the source");

    const RunOutcome out = run(true);
    for (const std::string& s : scraps)
        EXPECT_FALSE(pathExists(s)) << s;
    EXPECT_FALSE(pathExists(top + "/.History1.rvtmp"));
    EXPECT_EQ(out.deletions, 0u) << "no deletion is logged for them";
    EXPECT_TRUE(logLinesWith("削除成功: ").empty());
    EXPECT_TRUE(pathExists(notOurs));
    EXPECT_EQ(readFile(atSource), "at the source");
    EXPECT_FALSE(pathExists(latest("sync/.d.txt.rvtmp-AAAAAA")));
    EXPECT_EQ(out.copies, 0u);
}

TEST_F(RunDurabilityTest, NewGenerationIsMadeAsideAndPutInPlaceLast)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    makeGenerations({1, 2});
    std::vector<std::string> seenDuringCopies;
    host.onReport = [&](const Report& r) {
        // While History1's files are copied, the generations are still as they were.
        if (r.phase == 4 && r.position == 1)
            seenDuringCopies = {readFile(gen(1)), readFile(gen(2)), pathExists(top + "/.History1.rvtmp/a.txt") ? "aside" : "-"};
    };
    run(false);
    EXPECT_EQ(seenDuringCopies, (Strings{"1", "2", "aside"}));
    EXPECT_EQ(marks(4), (Strings{"new", "1", "2", "-"}));
    EXPECT_EQ(readFile(gen(1, "a.txt")), "x");
    EXPECT_FALSE(pathExists(top + "/.History1.rvtmp"));
}

}  // namespace
}  // namespace renvo::enginetest
