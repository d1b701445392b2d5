// Whole runs: copies and their failures, cancels at every poll point, open errors, progress.

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <future>

#include "common/Privileges.h"
#include "engine/CopyStep.h"
#include "engine/EngineTestUtil.h"
#include "platform/CanonicalPath.h"
#include "platform/FileSys.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class RunTest : public EngineTest {};

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

int64_t mtimeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtim.tv_sec;
}

Strings namesIn(const std::string& folder)
{
    Strings out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Two copies in flight: every entry that started is reported once, in queue order, whichever
// copy ends first (a large first file keeps the worker busy while the others pass it); a
// failure is that entry's alone, a link is copied as a link, and after a stop nothing starts.
TEST_F(RunTest, PairedCopiesReportEveryOutcomeInQueueOrder)
{
    struct Case {
        const char* what;
        int missing = -1, link = -1, skip = -1, stopAt = -1;
    };
    const Case cases[] = {
        {"all good"}, {"a missing source", 5}, {"a link", -1, 3}, {"an entry without a copy", -1, -1, 2},
        {"a stop", -1, -1, -1, 6}, {"a later stop", -1, -1, -1, 29}, {"the first fails", 0},
        {"one past the first batch fails", static_cast<int>(PairedCopies::kBatch)},
    };
    constexpr int kCount = 40;
    const std::string outside = writeFile(tmp / "outside/target.txt", "outside");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(src);
        fs::remove_all(top);
        std::vector<PairedCopies::Entry> queue;
        for (int k = 0; k < kCount; ++k) {
            const std::string rel = "d" + std::to_string(k % 3) + "/f" + std::to_string(k) + ".txt";
            if (k == c.link) {
                fs::create_directories(src + "/" + rel.substr(0, 2));
                fs::create_symlink(outside, src + "/" + rel);
            } else if (k != c.missing) {
                source(rel, k == 0 ? std::string(1 << 20, 'b') : rel);
            }
            queue.push_back({src + "/" + rel, latest(rel)});
        }
        fs::create_directories(top + "/Latest");
        PairedCopies copier(canonicalPath(top + "/Latest"));
        std::vector<int> order;
        PairedCopies::Hooks hooks;
        hooks.before = [&](size_t k) {
            if (static_cast<int>(k) == c.stopAt)
                throw std::runtime_error("stop");
        };
        hooks.entry = [&](size_t k, PairedCopies::Entry& e) {
            e = queue[k];
            return static_cast<int>(k) != c.skip;
        };
        hooks.done = [&](size_t k, const PairedCopies::Entry& e, int err) {
            order.push_back(static_cast<int>(k));
            EXPECT_EQ(e.destination, queue[k].destination);
            EXPECT_EQ(err, static_cast<int>(k) == c.missing ? ENOENT : 0) << k;
        };
        EXPECT_EQ(c.stopAt >= 0, [&] {
            try {
                copier.run(kCount, hooks);
            } catch (const std::runtime_error&) {
                return true;
            }
            return false;
        }());
        std::vector<int> expected;
        for (int k = 0; k < (c.stopAt >= 0 ? c.stopAt : kCount); ++k) {
            if (k != c.skip)
                expected.push_back(k);
        }
        EXPECT_EQ(order, expected);
        for (int k = 0; k < kCount; ++k) {
            const std::string& dst = queue[k].destination;
            const bool made = std::find(expected.begin(), expected.end(), k) != expected.end() && k != c.missing;
            EXPECT_EQ(fs::exists(fs::symlink_status(dst)), made) << k;
            if (made && k == c.link) {
                EXPECT_EQ(fs::read_symlink(dst), outside);
            } else if (made) {
                EXPECT_EQ(fs::file_size(dst), fs::file_size(queue[k].source)) << k;
            }
        }
        EXPECT_EQ(readFile(outside), "outside");
    }
}

TEST_F(RunTest, FailedCopiesAreLoggedWithTheirCauseAndTheRunGoesOn)
{
    const std::string vanishing = source("vanish.txt");
    const std::string blocked = source("f/x.txt");
    const std::string ok = source("ok.txt", "content", 1500000000);
    writeFile(latest("blocked"), "a file where a folder belongs");
    setList({fileItem(vanishing), folderItem(src + "/f", "blocked", 1, "*.*", false), fileItem(ok)});
    host.onReport = [&](const Report& r) {
        if (r.phase == 2 && r.position == 1)
            fs::remove(vanishing);  // gone between the scan and its copy
    };

    const RunOutcome out = run(true);
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(out.copies, 3u);
    EXPECT_EQ(out.failedCopies, 2u);
    const Strings expected{
        "複製失敗: " + vanishing + " ->X " + latest("vanish.txt"),
        "原    因: No such file or directory",
        "複製失敗: " + blocked + " ->X " + latest("blocked/x.txt"),
        "原    因: Not a directory",
        "複製成功: " + ok + " -> " + latest("ok.txt"),
    };
    EXPECT_EQ(logBody(), expected);
    EXPECT_TRUE(prompt.asked.empty());
    // Failed copies stay on the update list for the next complete run.
    EXPECT_EQ(readFile(updatePath()), "blocked/x.txt\r\nok.txt\r\nvanish.txt\r\n");
    EXPECT_EQ(namesIn(top + "/Latest"), (Strings{"blocked", "ok.txt"})) << "no temporary file is left";
}

TEST_F(RunTest, PipesAndDevicesArePassedOverWithOneLineEachNotFailures)
{
    source("a.txt");
    ASSERT_EQ(::mkfifo((src + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((src + "/other.fifo").c_str(), 0644), 0);
    setList({folderItem(src, "", 0, "*.* pipe"), fileItem("/dev/null"), folderItem(src, "txt", 1, "*.txt", false)});

    for (int i = 0; i < 2; ++i) {
        const RunOutcome out = run(true);
        EXPECT_EQ(out.end, RunEnd::Completed);
        EXPECT_EQ(out.failedCopies, 0u);
        EXPECT_TRUE(out.complete()) << "nothing the backup should hold is missing";
        // Once per special file, though two masks match the pipe; not for the item whose
        // masks match none.
        EXPECT_EQ(logLinesWith("複製除外: "), (Strings{"複製除外: " + src + "/other.fifo", "複製除外: " + src + "/pipe",
                                                  "複製除外: /dev/null"}));
        EXPECT_EQ(logLinesWith("原    因: "), Strings(3, "原    因: パイプ、ソケットまたはデバイスは複製しません"));
    }
    EXPECT_TRUE(fs::exists(latest("a.txt")));
    EXPECT_FALSE(pathExists(latest("pipe")));
    EXPECT_FALSE(pathExists(latest("null")));
}

TEST_F(RunTest, LinksAreMirroredAsLinksAndComparedByTheirOwnStamps)
{
    source("t/real/inside.txt");
    fs::create_directory_symlink("real", src + "/t/toFolder");
    fs::create_symlink("nowhere", src + "/t/dangling");
    fs::create_symlink("/etc/hostname", src + "/t/outside");
    setList({folderItem(src + "/t", "", 1)});

    RunOutcome out = run(false);
    EXPECT_EQ(out.failedCopies, 0u);
    EXPECT_EQ(out.copies, 4u);
    for (const char* link : {"toFolder", "dangling", "outside"}) {
        EXPECT_TRUE(fs::is_symlink(latest(link))) << link;
        EXPECT_EQ(fs::read_symlink(latest(link)), fs::read_symlink(src + "/t/" + link)) << link;
    }
    // Four copies: the one file and the three links; nothing was walked through the link.
    EXPECT_EQ(logLinesWith("複製成功: " + src + "/t/toFolder/").size(), 0u);
    EXPECT_FALSE(fs::is_directory(fs::symlink_status(latest("toFolder"))));
    EXPECT_TRUE(fs::is_symlink(top + "/History1/dangling")) << "history keeps the link as a link";

    // Unchanged links are not copied again; a link pointed elsewhere is (its own stamp moved).
    out = run(true);
    EXPECT_EQ(out.copies, 0u);
    fs::remove(src + "/t/dangling");
    fs::create_symlink("somewhere else", src + "/t/dangling");
    const timespec later[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (src + "/t/dangling").c_str(), later, AT_SYMLINK_NOFOLLOW), 0);
    out = run(true);
    EXPECT_EQ(out.copies, 1u);
    EXPECT_EQ(fs::read_symlink(latest("dangling")), "somewhere else");

    // A link whose source went is pruned like a file; its target stays.
    fs::remove(src + "/t/outside");
    out = run(true);
    EXPECT_EQ(out.deletions, 1u);
    EXPECT_FALSE(pathExists(latest("outside")));
    EXPECT_TRUE(fs::exists("/etc/hostname"));
}

TEST_F(RunTest, CopyReplacesAReadOnlyCopyAndLeavesTheSourceAlone)
{
    const std::string a = source("a.txt", "new", 1500000000);
    ::chmod(a.c_str(), 0640);
    const std::string copy = writeFile(latest("a.txt"), "old");
    ::chmod(copy.c_str(), 0444);
    setList({fileItem(a)});

    ASSERT_EQ(run(true).failedCopies, 0u);
    EXPECT_EQ(readFile(copy), "new");
    EXPECT_EQ(modeOf(copy), 0640u);
    EXPECT_EQ(mtimeOf(copy), 1500000000);
    EXPECT_EQ(modeOf(a), 0640u);
    EXPECT_EQ(mtimeOf(a), 1500000000);

    // The next run finds the copy up to date.
    EXPECT_EQ(run(true).copies, 0u);
}

TEST_F(RunTest, FileListedByTwoMasksIsCopiedOnEveryRun)
{
    source("a.txt");
    source("b.dat");
    setList({folderItem(src, "", 2, "*.txt *.*", false)});
    EXPECT_EQ(run(true).copies, 3u);
    EXPECT_EQ(run(true).copies, 1u);
    EXPECT_EQ(logLinesWith("複製成功: "), Strings{"複製成功: " + src + "/a.txt -> " + latest("a.txt")});
    EXPECT_EQ(readFile(updatePath()), "a.txt\r\nb.dat\r\n");
}

TEST_F(RunTest, VanishedItemsAreDroppedAndNotedAfterTheDeletions)
{
    const std::string keep = source("keep/k.txt");
    writeFile(latest("keep/stale.txt"), "stale");
    writeFile(latest("lost.txt"), "copy");
    setList({fileItem(src + "/lost.txt"), folderItem(src + "/keep", "keep", 1),
             folderItem(src + "/lostdir"), fileItem(src + "/lost.txt")});

    const RunOutcome out = run(true);
    EXPECT_EQ(out.droppedItems, 3u);
    const std::vector<MirrorItem> left = readListFile(listPath());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].address, src + "/keep");
    EXPECT_FALSE(fs::exists(prog + "/_rvbak"));
    EXPECT_EQ(readFile(latest("lost.txt")), "copy") << "the mirrored copy stays";

    EXPECT_EQ(logBody(), (Strings{"複製成功: " + keep + " -> " + latest("keep/k.txt"),
                                  "",
                                  "削除成功: " + latest("keep/stale.txt"),
                                  "",
                                  "登録削除: " + src + "/lost.txt",
                                  "登録削除: " + src + "/lostdir"}));
}

TEST_F(RunTest, DropStepThatCannotWriteEndsTheRunWithTheOpenMessage)
{
    const std::string a = source("a.txt");
    setList({fileItem(src + "/lost.txt"), fileItem(a)});
    const std::string before = readFile(listPath());
    // The log lives elsewhere: only the list's rewrite needs the program folder.
    host.snap.LogFile = tmp / "log.txt";
    prompt.expect(kOpenErrorCaption, PromptAnswer::Ok);
    const std::optional<RunOutcome> ran = runWithModes(true, {{prog, 0555}});
    if (!ran)
        GTEST_SKIP() << "file modes do not bind this process";
    const RunOutcome out = *ran;

    EXPECT_EQ(out.end, RunEnd::OpenError);
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(prompt.asked[0].caption, "ファイルオープンエラー");
    EXPECT_EQ(prompt.asked[0].text, "例外 EFOpenError が発生しました\r\n原因> Permission denied"
                                   "\r\n\r\n念のため Renvo を再起動後，再度実行して下さい");
    EXPECT_EQ(prompt.asked[0].detail, listPath());
    EXPECT_EQ(readFile(listPath()), before);
    EXPECT_EQ(namesIn(prog), (Strings{kListFileName})) << "no temporary file is left";
    EXPECT_TRUE(fs::exists(latest("a.txt"))) << "the copies came first";
    EXPECT_FALSE(fs::exists(updatePath())) << "a failed run saves no update list";
}

// Poll points of this run: one per record (1), one per copy (2), one per deletion (1), one
// after the history step. The stop is asked for by the report that comes just before the
// poll point after `answered` passed ones.
class CancelTest : public RunTest, public ::testing::WithParamInterface<int> {};

TEST_P(CancelTest, StopsAtThePollAndKeepsTableAndUpdateList)
{
    const int answered = GetParam();
    const std::vector<Report> stopAfter{{1, 1, 1}, {2, 0, 2}, {2, 1, 2}, {2, 2, 2}, {3, 1, 1}};
    source("f/a.txt");
    source("f/b.txt");
    writeFile(latest("f/gone.txt"), "gone");
    writeFile(latest("old.txt"), "old");
    writeFile(updatePath(), "old.txt\r\n");
    writeFile(tablePath(), "");
    setList({folderItem(src + "/f", "f", 1, "*.*", false)});
    host.stopAfter = [&](const Report& r) { return r == stopAfter[static_cast<size_t>(answered)]; };
    prompt.expect(kCancelCaption, PromptAnswer::Ok);

    const RunOutcome out = run(false);
    EXPECT_EQ(out.end, RunEnd::Cancelled);
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(prompt.asked[0].caption, kCancelCaption);
    EXPECT_EQ(prompt.asked[0].text, kCancelText);
    EXPECT_EQ(prompt.asked[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompt.asked[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompt.asked[0].owner, nullptr) << "the run's boxes have no owner window";
    EXPECT_EQ(host.ends, 1);

    EXPECT_EQ(fs::exists(latest("f/a.txt")), answered >= 2);
    EXPECT_EQ(fs::exists(latest("f/b.txt")), answered >= 3);
    EXPECT_EQ(fs::exists(latest("f/gone.txt")), answered < 4);
    EXPECT_EQ(fs::exists(top + "/History1/f/b.txt"), answered >= 4);
    EXPECT_FALSE(fs::exists(tablePath())) << "a complete run deletes the table first";
    // Saved after the evaluation, before any copy: a cancelled run keeps what it may have
    // changed on the list; after the history step it is saved empty at once.
    const std::string update = answered == 0 ? "old.txt\r\n" : answered < 4 ? "f/a.txt\r\nf/b.txt\r\nold.txt\r\n" : "";
    EXPECT_EQ(readFile(updatePath()), update);
    const Strings lines = logLines();
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back().rfind("実行終了: ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryPollPoint, CancelTest, ::testing::Values(0, 1, 2, 3, 4));

TEST_F(RunTest, CancelledStandardRunKeepsTheTable)
{
    source("f/a.txt");
    writeFile(tablePath(), "");
    writeFile(updatePath(), "x\r\n");
    setList({folderItem(src + "/f", "", 3, "*.*", false)});
    host.stopAfter = [](const Report& r) { return r.phase == 1; };
    prompt.expect(kCancelCaption, PromptAnswer::Ok);
    EXPECT_EQ(run(true).end, RunEnd::Cancelled);
    EXPECT_TRUE(fs::exists(tablePath()));
    EXPECT_EQ(readFile(tablePath()), "");
    EXPECT_EQ(readFile(updatePath()), "x\r\n");
}

TEST_F(RunTest, FileThatCannotBeOpenedEndsTheRunWithTheOpenMessage)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    const auto expectOpenError = [&](const std::string& path, const std::string& cause) {
        ASSERT_EQ(prompt.asked.size(), 1u);
        EXPECT_EQ(prompt.asked[0].caption, "ファイルオープンエラー");
        EXPECT_EQ(prompt.asked[0].text, "例外 EFOpenError が発生しました\r\n原因> " + cause +
                                           "\r\n\r\n念のため Renvo を再起動後，再度実行して下さい");
        EXPECT_EQ(prompt.asked[0].detail, path);
        EXPECT_EQ(host.ends, 1);
        EXPECT_TRUE(host.reports.empty()) << "no item is read";
        EXPECT_FALSE(fs::exists(latest("a.txt")));
        EXPECT_EQ(logLines().back().rfind("実行終了: ", 0), 0u);
    };

    prompt.expect(kOpenErrorCaption, PromptAnswer::Ok).expect(kOpenErrorCaption, PromptAnswer::Ok)
        .expect(kOpenErrorCaption, PromptAnswer::Ok);
    fs::create_directories(updatePath());
    EXPECT_EQ(run(false).end, RunEnd::OpenError);
    expectOpenError(updatePath(), "Is a directory");
    fs::remove(updatePath());

    fs::create_directories(tablePath());
    EXPECT_EQ(run(true).end, RunEnd::OpenError);
    expectOpenError(tablePath(), "Is a directory");
    fs::remove(tablePath());

    const int fd = ::open(listPath().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(run(true).end, RunEnd::OpenError);
    expectOpenError(listPath(), "Device or resource busy");
    ::close(fd);

    EXPECT_EQ(run(true).end, RunEnd::Completed);
    EXPECT_TRUE(fs::exists(latest("a.txt")));
}

TEST_F(RunTest, MissingListFileMeansNoRunAtAll)
{
    EXPECT_EQ(run(true).end, RunEnd::NotRun);
    EXPECT_EQ(host.snapshots, 0);
    EXPECT_EQ(host.ends, 0);
    EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(RunTest, ProgressReportsFollowThePhases)
{
    source("a.txt");
    source("f/b.txt");
    writeFile(latest("f/gone.txt"), "gone");
    setList({fileItem(src + "/a.txt"), folderItem(src + "/f", "f", 1, "*.*", false), folderItem(src + "/f", "", 2, "*.*", false)});

    // Second run of the standard kind: nothing to copy, "0 / 0" under the checking phase.
    run(true);
    run(true);
    EXPECT_EQ(host.reports, (std::vector<Report>{{0, 0, 3}, {1, 1, 3}, {1, 2, 3}, {1, 3, 3}, {1, 0, 0}, {1, 0, 0}}));

    source("a.txt", "y", 1600000100);
    writeFile(latest("f/gone.txt"), "gone");
    host.snap.LimitHistory = 2;
    writeFile(top + "/History1/older.txt", "older");
    run(false);
    const std::vector<Report> expected{{0, 0, 3}, {1, 1, 3}, {1, 2, 3}, {1, 3, 3}, {2, 0, 1}, {2, 1, 1},
                                       {3, 0, 1}, {3, 1, 1}, {4, 0, 5}, {4, 1, 5}, {4, 2, 5}, {4, 3, 5},
                                       {4, 4, 5}, {4, 5, 5}};
    EXPECT_EQ(host.reports, expected) << "phase 4 reaches its maximum: 3 updated files, 1 generation moved, 1";
    EXPECT_TRUE(fs::exists(top + "/History2/older.txt"));
}

TEST_F(RunTest, RunOnItsOwnThreadCallsTheEndHandlerAndTheOwnerJoins)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    host.snap.standardRun = true;
    TMirror mirror(host, prompt, prog, 4);  // lowest: nice 10, which anyone may set
    std::promise<bool> endedBeforeHandler;
    mirror.start([&] { endedBeforeHandler.set_value(mirror.waitFor(std::chrono::milliseconds(0))); });
    EXPECT_TRUE(endedBeforeHandler.get_future().get()) << "the outcome is ready when the handler runs";
    EXPECT_TRUE(mirror.waitFor(std::chrono::milliseconds(0)));
    const RunOutcome seen = mirror.join();
    EXPECT_EQ(seen.end, RunEnd::Completed);
    EXPECT_EQ(seen.copies, 1u);
    EXPECT_EQ(host.ends, 1);
    EXPECT_EQ(host.cursor, (std::vector<bool>{true, false})) << "the hourglass is on for the run only";
    EXPECT_EQ(host.niceAtSnapshot, 10) << "the run thread runs at the task priority";
}

TEST_F(RunTest, OwnerReadsTheProgressAndStopsTheRunFromItsOwnThread)
{
    source("a.txt");
    source("b.txt");
    setList({folderItem(src)});
    host.snap.standardRun = true;
    TMirror mirror(host, prompt, prog);
    prompt.expect(kCancelCaption, PromptAnswer::Ok);
    // The run waits in its first copy report until the owner has looked and asked to stop.
    std::promise<void> reached, stopped;
    host.onReport = [&](const Report& r) {
        if (r == Report{2, 1, 2}) {
            reached.set_value();
            stopped.get_future().wait();
        }
    };
    mirror.start();
    reached.get_future().wait();
    EXPECT_EQ(mirror.progress(), (RunProgress{RunPhase::Mirror, 1, 2}));
    EXPECT_FALSE(mirror.waitFor(std::chrono::milliseconds(0)));
    mirror.requestStop();
    stopped.set_value();
    const RunOutcome out = mirror.join();
    EXPECT_EQ(out.end, RunEnd::Cancelled);
    EXPECT_EQ(out.copies, 1u) << "the copy after the report is made, the next poll stops";
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(prompt.asked[0].caption, kCancelCaption);
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {
namespace {

TEST_F(RunTest, UnreadableSourceFolderKeepsItsMirroredFilesInSyncMode)
{
    source("t/a.txt");
    source("t/locked/b.txt");
    source("t/other/c.txt");
    setList({folderItem(src + "/t", "", 1)});
    run(true);
    ASSERT_TRUE(fs::exists(latest("locked/b.txt")));

    fs::remove(src + "/t/other/c.txt");
    const std::optional<RunOutcome> ran = runWithModes(true, {{src + "/t/locked", 0}});
    if (!ran)
        GTEST_SKIP() << "file modes do not bind this process";
    const RunOutcome out = *ran;

    // The file that really went is deleted; the one that could not be seen stays.
    EXPECT_EQ(out.deletions, 1u);
    EXPECT_FALSE(fs::exists(latest("other/c.txt")));
    EXPECT_TRUE(fs::exists(latest("locked/b.txt")));
    EXPECT_EQ(logLinesWith("読込失敗: "), Strings{"読込失敗: " + src + "/t/locked"});
    const Strings lines = logLines();
    const auto at = std::find(lines.begin(), lines.end(), "読込失敗: " + src + "/t/locked");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "原    因: " + errorText(EACCES));
}

TEST_F(RunTest, UnreadableItemFolderDeletesNothing)
{
    source("t/a.txt");
    source("t/sub/b.txt");
    setList({folderItem(src + "/t", "", 1)});
    run(true);

    const std::optional<RunOutcome> ran = runWithModes(true, {{src + "/t", 0}});
    if (!ran)
        GTEST_SKIP() << "file modes do not bind this process";
    const RunOutcome out = *ran;
    EXPECT_EQ(out.deletions, 0u);
    EXPECT_TRUE(fs::exists(latest("a.txt")));
    EXPECT_TRUE(fs::exists(latest("sub/b.txt")));
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {
namespace {

TEST_F(RunTest, RunConditionsDecideWhichItemsAStandardAndACompleteRunTake)
{
    MirrorItem never = fileItem(source("never.txt"));
    never.runFlag = 0;
    never.everyRun = 1;  // counts for nothing while the run flag is clear
    MirrorItem always = fileItem(source("always.txt"));
    always.runFlag = 2;  // any nonzero byte is set
    always.everyRun = 7;
    MirrorItem completeOnly = fileItem(source("complete.txt"));
    completeOnly.everyRun = 0;
    setList({never, always, completeOnly});

    run(true);
    EXPECT_TRUE(fs::exists(latest("always.txt")));
    EXPECT_FALSE(fs::exists(latest("complete.txt"))) << "a standard run takes only the items that always run";
    EXPECT_FALSE(fs::exists(latest("never.txt")));

    run(false);
    EXPECT_TRUE(fs::exists(latest("complete.txt")));
    EXPECT_FALSE(fs::exists(latest("never.txt")));
}

}  // namespace
TEST_F(RunTest, ALogThatCannotBeWrittenIsToldAndTheBackupStillHappens)
{
    const std::string file = source("a.txt", "alpha");
    setList({fileItem(file)});
    host.snap.LogFile = tmp / "logs";  // a folder: no log can be written there
    fs::create_directories(host.snap.LogFile);
    prompt.expect(kLogWriteErrorCaption, PromptAnswer::Ok);

    const RunOutcome out = run(true);
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(readFile(latest("a.txt")), "alpha");
    EXPECT_FALSE(out.logError.empty());
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_NE(prompt.asked[0].text.find(host.snap.LogFile), std::string::npos);
    EXPECT_NE(prompt.asked[0].text.find(out.logError), std::string::npos);
    prompt.expectAllAnswered();

    // Written again, the log says nothing more.
    fs::remove(host.snap.LogFile);
    const RunOutcome next = run(true);
    EXPECT_TRUE(next.logError.empty());
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_FALSE(logLines().empty());
}

}  // namespace renvo::enginetest
