// Copy and deletion decisions of one item, on real source and mirror trees.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "engine/EngineTestUtil.h"
#include "engine/Evaluate.h"
#include "engine/TableFile.h"
#include "platform/FileSys.h"

namespace renvo::enginetest {
namespace {

using Strings = std::vector<std::string>;

class EvaluateTest : public EngineTest {
protected:
    TableBuffer table;
    RunLists lists;

    void evaluate(const MirrorItem& item)
    {
        EvalContext ctx{host.snap, table, lists, top + "/Latest"};
        evaluateItem(item, ctx);
    }
    // A mirrored copy with a given stamp.
    std::string mirrored(const std::string& rel, int64_t mtime = 1600000000)
    {
        const std::string path = writeFile(latest(rel), "old");
        setMtime(path, mtime);
        return path;
    }
    Strings updated() const { return Strings(lists.update.paths().begin(), lists.update.paths().end()); }
};

TEST_F(EvaluateTest, FolderItemQueuesNewAndChangedFilesOnly)
{
    source("new.txt");
    source("same.txt");
    source("older.txt", "x", 1600000000);
    source("newer.txt", "x", 1600000100);
    source("sub/deep.txt");
    mirrored("d/same.txt");
    mirrored("d/older.txt", 1600000100);  // the copy is newer than its source
    mirrored("d/newer.txt", 1600000000);

    evaluate(folderItem(src, "d"));

    EXPECT_EQ(lists.queues.sources(), (Strings{src + "/new.txt", src + "/newer.txt", src + "/older.txt", src + "/sub/deep.txt"}));
    EXPECT_EQ(lists.queues.destinations(), (Strings{latest("d/new.txt"), latest("d/newer.txt"), latest("d/older.txt"),
                                           latest("d/sub/deep.txt")}));
    EXPECT_EQ(updated(), (Strings{"d/new.txt", "d/newer.txt", "d/older.txt", "d/sub/deep.txt"}));
    EXPECT_TRUE(lists.queues.deletions() == 0);
    EXPECT_TRUE(lists.dropped.empty());
}

TEST_F(EvaluateTest, FileItemComparesItsOwnCopy)
{
    const std::string a = source("a.txt", "x", 1600000000);
    evaluate(fileItem(a, "files"));
    EXPECT_EQ(lists.queues.destinations(), Strings{latest("files/a.txt")});
    EXPECT_EQ(updated(), Strings{"files/a.txt"});

    lists = {};
    mirrored("a.txt", 1600000000);
    evaluate(fileItem(a));
    EXPECT_TRUE(lists.queues.copies() == 0) << "equal stamps: nothing to do";

    setMtime(a, 1500000000);
    evaluate(fileItem(a));
    EXPECT_EQ(lists.queues.destinations(), Strings{latest("a.txt")}) << "an older source is copied too";
}

TEST_F(EvaluateTest, SyncDeletesLeftoversWhileKeepOptionsLeaveThem)
{
    source("kept.txt");
    source("sub/kept.txt");
    mirrored("kept.txt");
    mirrored("sub/kept.txt");
    const std::string gone = mirrored("gone.txt");
    const std::string goneDeep = mirrored("sub/gone.txt");
    std::filesystem::create_directories(latest("emptydir"));

    evaluate(folderItem(src, "", 1));
    EXPECT_EQ(lists.queues.deletionPaths(), (Strings{gone, goneDeep}));
    EXPECT_TRUE(lists.queues.copies() == 0);

    // Keep deleted, an option byte above 3, and an inherited global option outside 1..3.
    for (auto [itemOption, global] : {std::pair<uint8_t, uint8_t>{2, 1}, {7, 1}, {0, 0}, {0, 9}}) {
        lists = {};
        host.snap.FolderOption = global;
        evaluate(folderItem(src, "", itemOption));
        EXPECT_TRUE(lists.queues.deletions() == 0) << int(itemOption) << "/" << int(global);
    }
    host.snap.FolderOption = 1;
    lists = {};
    evaluate(folderItem(src));
    EXPECT_EQ(lists.queues.deletions(), 2u) << "the inherited sync option";
}

TEST_F(EvaluateTest, EmptyMasksWithSyncDeletesTheWholeMirror)
{
    source("a.txt");
    const std::string a = mirrored("d/a.txt");
    const std::string b = mirrored("d/sub/b.txt");
    mirrored("other/c.txt");  // another item's copy

    evaluate(folderItem(src, "d", 1, ""));
    EXPECT_TRUE(lists.queues.copies() == 0);
    EXPECT_EQ(lists.queues.deletionPaths(), (Strings{a, b}));
}

TEST_F(EvaluateTest, FileListedByTwoMasksIsQueuedEveryTime)
{
    source("a.txt");
    source("b.dat");
    mirrored("a.txt");
    mirrored("b.dat");

    evaluate(folderItem(src, "", 1, "*.txt *.*", false));
    EXPECT_EQ(lists.queues.sources(), Strings{src + "/a.txt"}) << "the second listing finds no unused copy";
    EXPECT_EQ(updated(), Strings{"a.txt"});
    EXPECT_TRUE(lists.queues.deletions() == 0);
}

TEST_F(EvaluateTest, MirrorLookUpFollowsTheFileNameRule)
{
    source("Name.txt");
    const std::string lower = mirrored("name.txt");

    evaluate(folderItem(src, "", 1, "*.*", false));
    EXPECT_EQ(lists.queues.destinations(), Strings{latest("Name.txt")});
    EXPECT_EQ(lists.queues.deletionPaths(), Strings{lower});
}

TEST_F(EvaluateTest, AddressWithATrailingDelimiterMatchesItsMirror)
{
    source("a.txt");
    source("sub/b.txt");
    mirrored("d/a.txt");
    mirrored("d/sub/b.txt");

    evaluate(folderItem(src + "/", "d", 1));
    EXPECT_TRUE(lists.queues.copies() == 0);
    EXPECT_TRUE(lists.queues.deletions() == 0) << "up-to-date copies are no leftovers";
}

// Thousands of files in nested folders, some up to date, some changed, some new, some only in
// the mirror: the queues must name exactly what a plain lookup by path gives, in listing order.
TEST_F(EvaluateTest, ManyFilesAreMatchedByPathAsAPlainLookupWould)
{
    std::map<std::string, int64_t> mirrorStamps;
    for (int i = 0; i < 3000; ++i) {
        // Folder names that share prefixes and files that share names across folders.
        const std::string rel = "d" + std::to_string(i % 7) + (i % 3 ? "/s" + std::to_string(i % 5) : std::string()) +
                                "/f" + std::to_string(i % 400) + "_" + std::to_string(i / 400) + ".txt";
        const int64_t stamp = 1600000000 + 2 * (i % 11);
        source(rel, "x", stamp);
        if (i % 4 != 0)
            mirrorStamps[rel] = i % 4 == 1 ? stamp + 2 : stamp;  // changed or up to date
    }
    for (int i = 0; i < 200; ++i)
        mirrorStamps["d" + std::to_string(i % 9) + "/gone" + std::to_string(i) + ".txt"] = 1600000000;
    for (const auto& [rel, stamp] : mirrorStamps)
        mirrored("m/" + rel, stamp);

    evaluate(folderItem(src, "m", 1));

    Strings copies, targets, gone;
    std::set<std::string> seen;
    for (const FoundFile& f : sourceListing(src, {"*.*"}, true)) {
        const std::string rel = f.path.substr(src.size() + 1);
        seen.insert(rel);
        const auto it = mirrorStamps.find(rel);
        if (it != mirrorStamps.end() && dosStampFromUnix(it->second) == f.stamp)
            continue;
        copies.push_back(f.path);
        targets.push_back(latest("m/" + rel));
    }
    for (const FoundFile& f : sourceListing(top + "/Latest/m", {"*.*"}, true)) {
        if (!seen.count(f.path.substr(top.size() + 10)))
            gone.push_back(f.path);
    }
    ASSERT_GT(copies.size(), 1000u);
    EXPECT_EQ(lists.queues.sources(), copies);
    EXPECT_EQ(lists.queues.destinations(), targets);
    EXPECT_EQ(lists.queues.deletionPaths(), gone);
    EXPECT_EQ(gone.size(), 200u);
    EXPECT_EQ(lists.update.size(), copies.size());
}

// Copies name their files through the listings kept for them; a listing nothing was queued
// from is let go, and paths given whole stay as they were given.
TEST(RunQueues, ListedAndGivenPathsKeepTheirOrder)
{
    Listing files;
    const uint32_t root = files.addFolder("");
    const uint32_t sub = files.addFolder("a/b");
    files.addFile(root, "top.txt", 1);
    files.addFile(sub, "deep.txt", 2);
    RunQueues q;
    const uint32_t kept = q.keep("/src", std::move(files));
    const uint32_t target = q.targetRoot("/top/Latest/d");
    q.queueCopy(kept, 1, target);
    q.queueCopy("/file.txt", "/top/Latest/file.txt");
    q.queueCopy(kept, 0, std::string("/top/Latest/d/TOP.txt"));
    EXPECT_EQ(q.sources(), (Strings{"/src/a/b/deep.txt", "/file.txt", "/src/top.txt"}));
    EXPECT_EQ(q.destinations(), (Strings{"/top/Latest/d/a/b/deep.txt", "/top/Latest/file.txt", "/top/Latest/d/TOP.txt"}));
    EXPECT_EQ(q.kept(kept).relative(1), "a/b/deep.txt");

    Listing unused;
    unused.addFile(unused.addFolder("x"), "y", 0);
    const uint32_t other = q.keep("/other", std::move(unused));
    q.queueDeletion(kept, 0);
    q.queueDeletion("/given/path");
    q.forgetLast(kept);  // not the last one kept: stays
    q.forgetLast(other);
    EXPECT_EQ(q.deletionPaths(), (Strings{"/src/top.txt", "/given/path"}));
    EXPECT_EQ(q.source(0), "/src/a/b/deep.txt");
}

TEST_F(EvaluateTest, MissingItemsAreDroppedOnlyWithDelOnNotExists)
{
    source("other.txt");  // the folder they vanished from is there
    const std::string copy = mirrored("lost.txt");
    mirrored("lostdir/x.txt");
    const MirrorItem lostFile = fileItem(src + "/lost.txt");
    const MirrorItem lostFolder = folderItem(src + "/lostdir", "", 1);

    evaluate(lostFile);
    evaluate(lostFolder);
    EXPECT_EQ(lists.dropped, (Strings{src + "/lost.txt", src + "/lostdir"}));
    EXPECT_TRUE(lists.queues.deletions() == 0) << "neither the source nor the copy is deleted";
    EXPECT_TRUE(lists.queues.copies() == 0);

    lists = {};
    host.snap.DelOnNotExists = false;
    evaluate(lostFile);
    evaluate(lostFolder);
    EXPECT_TRUE(lists.dropped.empty());
    EXPECT_EQ(lists.unavailable.size(), 2u) << "kept on the list, and said";
    EXPECT_TRUE(lists.queues.deletions() == 0);
    EXPECT_TRUE(lists.queues.copies() == 0);
    EXPECT_TRUE(std::filesystem::exists(copy));
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST_F(EngineTest, ItemHoldingTheTopFolderIsSkippedHoweverTheTopIsSpelled)
{
    // The mirror would lie inside the mirrored tree: each run would copy the previous run's
    // copies, and a sync run would prune in its own source.
    const std::string home = tmp / "home";
    writeFile(home + "/doc.txt", "doc");
    fs::create_directories(home + "/backup");
    fs::create_directory_symlink(home, tmp / "homelink");
    setList({folderItem(home, "home", 1)});
    for (const std::string& spelled : {home + "/backup", home + "//backup", home + "/./backup", home + "/backup/",
                                       tmp / "homelink/backup", home + "/backup/new/../"}) {
        host.snap.MirTopFolder = spelled;
        const RunOutcome out = run(false);
        EXPECT_EQ(out.copies, 0u) << spelled;
        EXPECT_EQ(out.skippedItems, 1u) << spelled;
        EXPECT_FALSE(out.complete());
        EXPECT_EQ(logLinesWith("登録不正: "), Strings{"登録不正: " + home});
        EXPECT_EQ(logLinesWith("原    因: "), Strings{"原    因: 対象アドレスがミラーリングのトップフォルダと重なっています"});
    }
    EXPECT_FALSE(fs::exists(home + "/backup/Latest"));
    EXPECT_EQ(readListFile(listPath()).size(), 1u) << "a skipped record stays on the list";
}

}  // namespace renvo::enginetest
