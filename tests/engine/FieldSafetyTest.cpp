// What a run does when the machine is not as the list expects: sources that are not there,
// a top folder on a drive that is not mounted, a history copy that cannot be made, a kill
// inside the rotation, a folder of the mirror where the source now has a link.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/EngineTestUtil.h"
#include "engine/History.h"
#include "engine/TopFolder.h"
#include "engine/UpdateList.h"
#include "platform/FileSys.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class FieldSafetyTest : public EngineTest {
protected:
    std::string gen(int n, const std::string& rel = "a.txt") const
    {
        return top + "/History" + std::to_string(n) + "/" + rel;
    }
    // What History1..N hold of a.txt ("-" for none).
    Strings generations(int upTo) const
    {
        Strings out;
        for (int n = 1; n <= upTo; ++n)
            out.push_back(fs::exists(gen(n)) ? readFile(gen(n)) : "-");
        return out;
    }
    // Complete runs that leave versions v1..vN of a.txt in the history.
    void versions(int count)
    {
        setList({folderItem(src + "/d")});
        for (int v = 1; v <= count; ++v) {
            source("d/a.txt", "v" + std::to_string(v), 1500000000 + 10 * v);
            ASSERT_EQ(run(false).end, RunEnd::Completed);
        }
    }
};

// A source that is not there is never a reason to delete its copies, nor to drop it from the
// list, unless it vanished from a folder that is there and holds something.
TEST_F(FieldSafetyTest, SourcesThatAreNotThereKeepTheirMirrorAndTheirItem)
{
    struct Case {
        const char* name;
        bool fileItem;
        bool delOnNotExists;
        std::function<void(const std::string& drive)> unplug;  // drive = src + "/drive"
        bool dropped;
    };
    const std::vector<Case> cases{
        {"empty mount point", false, true, [](const std::string& d) { fs::remove_all(d + "/data"); fs::create_directories(d + "/data"); }, false},
        {"folder gone with its drive", false, true, [](const std::string& d) { fs::remove_all(d); }, false},
        {"folder gone, drive folder empty", false, true, [](const std::string& d) { fs::remove_all(d + "/data"); }, false},
        {"file gone with its drive", true, true, [](const std::string& d) { fs::remove_all(d); }, false},
        {"folder deleted, drive there, kept on the list", false, false, [](const std::string& d) { fs::remove_all(d + "/data"); writeFile(d + "/other", "x"); }, false},
        {"folder deleted from a folder that is there", false, true, [](const std::string& d) { fs::remove_all(d + "/data"); writeFile(d + "/other", "x"); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(top);
        fs::remove_all(src);
        fs::remove(prog + "/" + kUsedTopsFileName);
        const std::string drive = src + "/drive";
        source("drive/data/a.txt");
        source("drive/data/sub/b.txt");
        const std::string address = c.fileItem ? drive + "/data/a.txt" : drive + "/data";
        setList({c.fileItem ? fileItem(address) : folderItem(address, "", 1)});
        host.snap.DelOnNotExists = c.delOnNotExists;
        ASSERT_TRUE(run(true).complete());

        c.unplug(drive);
        const RunOutcome out = run(true);
        EXPECT_EQ(out.end, RunEnd::Completed);
        EXPECT_EQ(out.deletions, 0u);
        EXPECT_EQ(out.failedCopies, 0u);
        EXPECT_TRUE(fs::exists(latest("a.txt")));
        EXPECT_EQ(out.droppedItems, c.dropped ? 1u : 0u);
        EXPECT_EQ(readListFile(listPath()).size(), c.dropped ? 0u : 1u);
        EXPECT_EQ(out.unavailableItems, c.dropped ? 0u : 1u);
        EXPECT_EQ(out.complete(), c.dropped) << "a missing source is never a complete run";
        EXPECT_EQ(logLinesWith("対象不在: " + address).size(), c.dropped ? 0u : 1u);
    }
}

TEST_F(FieldSafetyTest, TableItemOnAnUnpluggedDriveQueuesNothingAndRotatesNothing)
{
    source("drive/a.txt", "v1");
    setList({folderItem(src + "/drive", "", 3)});
    ASSERT_TRUE(run(false).complete());
    source("drive/a.txt", "v2", 1600000100);
    ASSERT_TRUE(run(false).complete());
    ASSERT_EQ(generations(3), (Strings{"v2", "v1", "-"}));

    fs::remove_all(src + "/drive");
    fs::create_directories(src + "/drive");  // the empty mount point
    for (bool standard : {true, true, false}) {
        const RunOutcome out = run(standard);
        EXPECT_EQ(out.copies, 0u);
        EXPECT_EQ(out.unavailableItems, 1u);
    }
    EXPECT_EQ(generations(3), (Strings{"v2", "v1", "-"})) << "no duplicate generation, no version lost";
    EXPECT_EQ(readFile(latest("a.txt")), "v2");
}

TEST_F(FieldSafetyTest, TopFolderUsedBeforeIsNeverWrittenWhenItsDriveIsGone)
{
    source("a.txt");
    setList({fileItem(src + "/a.txt")});
    ASSERT_TRUE(run(true).complete()) << "a top folder never used before is made";
    ASSERT_TRUE(fs::exists(top + "/" + kTopMarkerName));

    struct Case {
        const char* name;
        std::function<void()> unplug;
        bool folderStays;
    };
    const std::vector<Case> cases{
        {"empty mount point", [&] { fs::remove_all(top); fs::create_directories(top); }, true},
        {"mount point gone", [&] { fs::remove_all(top); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.unplug();
        host.snap.LogFile = top + "/logfile.txt";  // a log on the backup drive is not written either
        const RunOutcome out = run(false);
        EXPECT_EQ(out.end, RunEnd::TopUnavailable);
        EXPECT_NE(out.error.find(top), std::string::npos);
        EXPECT_EQ(host.ends, 1) << "the host learns of the end as always";
        EXPECT_EQ(fs::exists(top), c.folderStays);
        if (c.folderStays) {
            EXPECT_TRUE(fs::is_empty(top)) << "nothing written under the mount point";
        }
    }
    // The drive is back: runs go on.
    host.snap.LogFile = prog + "/logfile.txt";
    fs::create_directories(top + "/Latest");
    EXPECT_TRUE(run(true).complete());
    // Erased on purpose: the folder counts as new again.
    fs::remove_all(top);
    forgetTopFolder(prog, top);
    EXPECT_TRUE(run(true).complete());
    EXPECT_EQ(readFile(latest("a.txt")), "x");
}

TEST_F(FieldSafetyTest, HistoryCopyThatFailsKeepsEveryGenerationAndTheList)
{
    versions(3);
    ASSERT_EQ(generations(4), (Strings{"v3", "v2", "v1", "-"}));
    source("d/a.txt", "v4", 1600000000);
    static std::string failing;
    failing = latest("a.txt");
    // The copy into the new generation sees its source change: it fails as a full disk would.
    setCopyHook([](const std::string& from) {
        if (from == failing)
            setMtime(from, 1700000000);
    });
    const RunOutcome out = run(false);
    setCopyHook(nullptr);
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(out.failedHistory, 1u);
    EXPECT_FALSE(out.complete());
    EXPECT_EQ(generations(4), (Strings{"v3", "v2", "v1", "-"})) << "nothing rotated for a generation not made";
    EXPECT_EQ(logLinesWith("複製失敗: " + latest("a.txt") + " ->X " + gen(1)).size(), 1u);
    EXPECT_EQ(logLinesWith("履歴増加: 0個").size(), 1u) << "the files stored are counted";
    EXPECT_EQ(readFile(updatePath()), "a.txt\r\n") << "still listed for the next complete run";
    EXPECT_FALSE(fs::exists(top + "/.History1.rvtmp"));

    const RunOutcome next = run(false);
    EXPECT_TRUE(next.complete());
    EXPECT_EQ(generations(4), (Strings{"v4", "v3", "v2", "-"}));
}

// A kill before the rotation was committed leaves the history as it was; one after it, at any
// point up to its end, leaves a rotation that the next run finishes: the files are never
// rotated in a second time.
TEST_F(FieldSafetyTest, RotationKilledAnywhereIsFinishedOnceByTheNextRun)
{
    struct Killed {};
    for (int killAt = 0; killAt <= 4; ++killAt) {
        SCOPED_TRACE(killAt);
        fs::remove_all(top);
        fs::remove_all(src);
        fs::remove(prog + "/" + kUsedTopsFileName);
        fs::remove(updatePath());
        versions(3);
        source("d/a.txt", "v4", 1600000000);
        ASSERT_TRUE(run(true).complete());  // a.txt listed, v4 in Latest

        UpdateList list;
        list.load(updatePath());
        HistoryStep step(top, 3, list);
        HistoryHooks hooks;
        int advances = 0;
        // advance 1 follows the file's copy, before the commit; 2 and 3 follow the renames of
        // History2 and History1; 4 comes once the rotation is done.
        hooks.committed = [&] {
            writeFile(updatePath(), "");
            if (killAt == 0)
                throw Killed{};
        };
        hooks.advance = [&] {
            if (++advances == killAt)
                throw Killed{};
        };
        bool killed = false;
        try {
            step.run(hooks);
        } catch (const Killed&) {
            killed = true;
        }
        EXPECT_TRUE(killed);
        // A killed run before its update list was saved empty: the list is still on disk.
        if (killAt == 0)
            writeFile(updatePath(), "a.txt\r\n");

        source("d/a.txt", "v5", 1600000500);
        ASSERT_TRUE(run(false).complete());
        if (killAt == 1) {
            EXPECT_EQ(generations(4), (Strings{"v5", "v3", "v2", "-"})) << "v4 never reached the history";
        } else {
            EXPECT_EQ(generations(4), (Strings{"v5", "v4", "v3", "-"}));
        }
        EXPECT_FALSE(fs::exists(top + "/.HistoryOld.rvtmp"));
        EXPECT_FALSE(fs::exists(top + "/.History1.rvtmp"));
    }
}

// A committed rotation that cannot be carried out stops the runs that follow, until it can.
TEST_F(FieldSafetyTest, RotationThatCannotBeFinishedHoldsEveryRunBack)
{
    versions(3);
    source("d/a.txt", "v4", 1600000000);
    ASSERT_TRUE(run(true).complete());
    UpdateList list;
    list.load(updatePath());
    HistoryStep step(top, 3, list);
    HistoryHooks hooks;
    const std::string obstacle = top + "/.HistoryOld.rvtmp";
    hooks.committed = [&] {
        writeFile(updatePath(), "");
        fs::create_directories(obstacle + "/x");  // where the oldest generation must go
    };
    EXPECT_NE(step.run(hooks).commitError, 0);

    source("d/a.txt", "v5", 1600000500);
    const RunOutcome held = run(false);
    EXPECT_EQ(held.end, RunEnd::Failed);
    EXPECT_NE(held.error.find(top), std::string::npos);
    EXPECT_EQ(held.copies, 0u);
    EXPECT_EQ(generations(4), (Strings{"v3", "v2", "v1", "-"}));

    fs::remove_all(obstacle);
    ASSERT_TRUE(run(false).complete());
    EXPECT_EQ(generations(4), (Strings{"v5", "v4", "v3", "-"}));
}

TEST_F(FieldSafetyTest, MountPointsAreRememberedOnceEach)
{
    EXPECT_EQ(rememberMountPoints(prog, {"/media/a", "/media/b"}), 0);
    EXPECT_EQ(rememberMountPoints(prog, {"/media/b", "/media/c", "/media/bad\nline"}), 0);
    EXPECT_EQ(mountPointsSeen(prog), (Strings{"/media/a", "/media/b", "/media/c"}));
}

// A plan that is not whole (damage, never a kill: it is written atomically) moves nothing.
TEST_F(FieldSafetyTest, DamagedRotationPlanIsNeverCarriedOut)
{
    writeFile(gen(1), "v1");
    writeFile(top + "/.History1.rvtmp/a.txt", "v2");
    writeFile(top + "/.HistoryPlan.rvtmp", "History1\tHistory2\n.History1.rvtmp\tHist");
    int err = 0;
    EXPECT_EQ(recoverHistory(top, &err), HistoryRecovery::Failed);
    EXPECT_NE(err, 0);
    EXPECT_EQ(generations(2), (Strings{"v1", "-"}));
}

TEST_F(FieldSafetyTest, SubfolderReplacedByALinkTakesItsPlaceInOneRun)
{
    source("d/sub/x.txt");
    source("d/sub/deeper/y.txt");
    setList({folderItem(src + "/d", "", 1)});
    ASSERT_TRUE(run(true).complete());

    fs::remove_all(src + "/d/sub");
    fs::create_directory_symlink("/nowhere/else", src + "/d/sub");
    const RunOutcome out = run(true);
    EXPECT_TRUE(out.complete()) << out.failedCopies << " failed copies";
    EXPECT_TRUE(fs::is_symlink(latest("sub")));
    EXPECT_EQ(fs::read_symlink(latest("sub")), "/nowhere/else");
    EXPECT_TRUE(run(true).complete());
}

}  // namespace
}  // namespace renvo::enginetest
