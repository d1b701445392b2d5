// History generations and the update list that feeds them.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "engine/EngineTestUtil.h"
#include "engine/History.h"
#include "engine/UpdateList.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class HistoryTest : public EngineTest {
protected:
    std::string gen(int n, const std::string& rel = "") const
    {
        return top + "/History" + std::to_string(n) + (rel.empty() ? "" : "/" + rel);
    }
    // Generation n holding one file that names it.
    void makeGeneration(int n) { writeFile(gen(n, "mark.txt"), std::to_string(n)); }
    std::string markOf(int n) const { return fs::exists(gen(n, "mark.txt")) ? readFile(gen(n, "mark.txt")) : "-"; }
    // What each of History1..HistoryN holds: the old generation it came from, "new", or "-".
    Strings generations(int upTo) const
    {
        Strings out;
        for (int n = 1; n <= upTo; ++n)
            out.push_back(fs::exists(gen(n, "d/changed.txt")) ? "new" : markOf(n));
        return out;
    }
    int step(int limit, const Strings& updated)
    {
        UpdateList list;
        for (const std::string& rel : updated)
            list.add(rel);
        HistoryStep history(top, limit, list);
        int advances = 0;
        history.run([&] { ++advances; });
        EXPECT_EQ(static_cast<size_t>(advances), history.steps()) << "the progress maximum is reached";
        return advances;
    }
};

TEST_F(HistoryTest, RotationSkipsMissingGenerationsAndStopsAtTheLimit)
{
    writeFile(latest("d/changed.txt"), "now");
    setMtime(latest("d/changed.txt"), 1500000000);
    makeGeneration(1);
    makeGeneration(3);

    EXPECT_EQ(step(3, {"d/changed.txt", "gone.txt"}), 1 + 2 + 1) << "generations moved, files, final removal";
    EXPECT_EQ(generations(4), (Strings{"new", "1", "-", "-"}));
    EXPECT_EQ(readFile(gen(1, "d/changed.txt")), "now");
    EXPECT_EQ(fs::last_write_time(gen(1, "d/changed.txt")), fs::last_write_time(latest("d/changed.txt")));
    EXPECT_FALSE(fs::exists(gen(1, "gone.txt"))) << "a path without a current copy adds nothing";
    EXPECT_FALSE(fs::exists(gen(1, "mark.txt")));
}

TEST_F(HistoryTest, LoweredLimitRemovesTheGenerationsAbove)
{
    writeFile(latest("d/changed.txt"), "now");
    for (int n = 1; n <= 5; ++n)
        makeGeneration(n);
    makeGeneration(7);

    step(3, {"d/changed.txt"});
    EXPECT_EQ(generations(7), (Strings{"new", "1", "2", "-", "-", "-", "7"}))
        << "removal stops at the first missing number";
}

TEST_F(HistoryTest, LimitZeroRemovesEveryGeneration)
{
    writeFile(latest("d/changed.txt"), "now");
    for (int n : {1, 2, 3, 5})
        makeGeneration(n);
    EXPECT_EQ(step(0, {"d/changed.txt"}), 1);
    EXPECT_EQ(generations(5), (Strings{"-", "-", "-", "-", "5"}));
}

TEST_F(HistoryTest, EmptyUpdateListLeavesEveryGenerationAlone)
{
    writeFile(latest("a.txt"), "now");
    for (int n = 1; n <= 4; ++n)
        makeGeneration(n);
    step(2, {});
    EXPECT_EQ(generations(4), (Strings{"1", "2", "3", "4"}));
}

TEST_F(HistoryTest, TreeRemovalTakesHiddenEntriesAndNeverFollowsLinks)
{
    writeFile(latest("d/changed.txt"), "now");
    makeGeneration(1);
    makeGeneration(2);
    writeFile(gen(2, ".config/app/settings"), "hidden");
    writeFile(gen(2, ".profile"), "hidden");
    const std::string outside = writeFile(tmp / "outside/keep.txt", "keep");
    fs::create_directory_symlink(tmp / "outside", gen(2, "link"));

    step(2, {"d/changed.txt"});
    EXPECT_EQ(generations(3), (Strings{"new", "1", "-"}));
    EXPECT_FALSE(fs::exists(gen(2, ".config")));
    // The dropped generation, set aside, is gone with its hidden entries.
    EXPECT_FALSE(fs::exists(top + "/.HistoryOld.rvtmp"));
    EXPECT_EQ(readFile(outside), "keep");
}

TEST_F(HistoryTest, CompleteRunFillsHistoryAndEmptiesTheUpdateList)
{
    source("a.txt");
    setList({folderItem(src)});
    writeFile(updatePath(), "earlier/x.txt\r\n");
    makeGeneration(1);
    run(false);
    EXPECT_EQ(readFile(gen(1, "a.txt")), "x");
    EXPECT_EQ(markOf(2), "1");
    EXPECT_EQ(readFile(updatePath()), "");

    run(false);
    EXPECT_EQ(markOf(2), "1") << "nothing changed: no rotation";
    EXPECT_TRUE(fs::exists(gen(1, "a.txt")));

    writeFile(updatePath(), "a.txt\r\n");
    host.snap.LimitHistory = 0;
    run(false);
    EXPECT_EQ(readFile(updatePath()), "");
    EXPECT_FALSE(fs::exists(gen(1)));
    EXPECT_FALSE(fs::exists(gen(2)));
}

// An old generation waits for its removal under a name of the engine's own; one whose removal
// a kill cut short is removed by the next run before it moves any generation. Nothing else in
// the top folder is taken for such a leftover, and a link of that name goes without its target.
TEST_F(HistoryTest, OldGenerationsLeftAsideAreRemovedByTheNextRunAndNothingElseIs)
{
    struct Case {
        const char* name;
        bool leftover;
    };
    const Case cases[] = {
        {".HistoryOld.rvtmp", true},     {".HistoryOld4.rvtmp", true},   {".HistoryOld12.rvtmp", true},
        {"HistoryOld.rvtmp", false},     {".HistoryOld", false},         {".HistoryOld04.rvtmp", false},
        {".HistoryOldx.rvtmp", false},   {".HistoryOld.rvtmp.bak", false}, {".historyold.rvtmp", false},
        {".HistoryOld-4.rvtmp", false},  {".HistoryOld4.rvtmp-AbCdEf", false}, {"History0", false},
        {"History01", false},
    };
    for (const Case& c : cases) {
        writeFile(top + "/" + c.name + "/sub/file.txt", c.name);
        EXPECT_EQ(isOldGenerationName(c.name), c.leftover) << c.name;
    }
    const std::string outside = writeFile(tmp / "outside/keep.txt", "keep");
    fs::create_directory_symlink(tmp / "outside", top + "/.HistoryOld7.rvtmp");
    source("a.txt", "new");
    setList({folderItem(src)});
    writeFile(updatePath(), "a.txt\r\n");
    for (int n = 1; n <= 3; ++n)
        makeGeneration(n);

    const RunOutcome out = run(false);
    EXPECT_TRUE(out.complete());
    EXPECT_EQ(generations(4), (Strings{"-", "1", "2", "-"}));
    EXPECT_EQ(readFile(gen(1, "a.txt")), "new");
    for (const Case& c : cases)
        EXPECT_EQ(fs::exists(top + "/" + c.name), !c.leftover) << c.name;
    EXPECT_FALSE(fs::exists(fs::symlink_status(top + "/.HistoryOld7.rvtmp")));
    EXPECT_EQ(readFile(outside), "keep");
    for (const auto& e : fs::directory_iterator(top))
        EXPECT_FALSE(isOldGenerationName(e.path().filename().string())) << e.path();
}

// Generations above a lowered limit go aside too: none of their numbers is left when the step
// ends, and one whose aside name is taken is removed where it is.
TEST_F(HistoryTest, GenerationsAboveTheLimitGoAsideEvenWithALeftoverInTheWay)
{
    writeFile(latest("d/changed.txt"), "now");
    for (int n = 1; n <= 5; ++n)
        makeGeneration(n);
    writeFile(top + "/.HistoryOld5.rvtmp/stuck.txt", "left by a kill");
    BackgroundRemoval background;
    UpdateList list;
    list.add("d/changed.txt");
    HistoryStep history(top, 2, list, &background);
    EXPECT_TRUE(history.run([] {}).placed);
    background.join();
    EXPECT_EQ(generations(5), (Strings{"new", "1", "-", "-", "-"}));
    EXPECT_FALSE(fs::exists(top + "/.HistoryOld.rvtmp"));
    EXPECT_FALSE(fs::exists(top + "/.HistoryOld3.rvtmp"));
    EXPECT_FALSE(fs::exists(top + "/.HistoryOld4.rvtmp"));
    EXPECT_TRUE(fs::exists(top + "/.HistoryOld5.rvtmp/stuck.txt")) << "a leftover is the next run's to remove";
}

TEST(UpdateListTest, LoadTakesAnyLineEndAndSavesSortedCrLf)
{
    TempDir tmp;
    const std::string path = writeFile(tmp / "_update", "b/x.txt\r\n\r\na.txt\nb/x.txt\n\nB.txt\r\nc.txt");
    UpdateList list;
    list.add("a.txt");
    list.load(path);
    EXPECT_EQ(Strings(list.paths().begin(), list.paths().end()), (Strings{"B.txt", "a.txt", "b/x.txt", "c.txt"}))
        << "names that differ in letter case are different files here";

    ASSERT_EQ(list.save(path), 0);
    EXPECT_EQ(readFile(path), "B.txt\r\na.txt\r\nb/x.txt\r\nc.txt\r\n");

    UpdateList none;
    none.load(tmp / "missing");
    EXPECT_TRUE(none.empty());
    fs::create_directories(tmp / "dir");
    EXPECT_THROW(none.load(tmp / "dir"), EFOpenError);
}

TEST(UpdateListTest, LinesThatAreNoPathBelowLatestAreSkipped)
{
    TempDir tmp;
    const std::string damaged = "../x.txt\r\n/abs.txt\r\na//b.txt\r\n./c.txt\r\nd/../../e.txt\r\nf/\r\nn" +
                                std::string(1, '\0') + "ul.txt\r\nok/.dot.txt\r\n";
    const std::string path = writeFile(tmp / "_update", damaged);
    UpdateList list;
    list.load(path);
    EXPECT_EQ(Strings(list.paths().begin(), list.paths().end()), Strings{"ok/.dot.txt"});
    EXPECT_TRUE(list.needsSave()) << "the damage goes with the next save";
}

TEST_F(HistoryTest, DamagedUpdateListNeverLeadsTheHistoryThroughALinkOutOfTheTop)
{
    // A link mirrored into Latest, and update lines that climb out of it: the generation's
    // copy of "deeplink/../../beside.txt" would land on <top>/beside.txt.
    const std::string outside = writeFile(tmp / "documents/sub/x.txt", "x");
    writeFile(tmp / "beside.txt", "outside the top folder");
    const std::string beside = writeFile(top + "/beside.txt", "the top folder's own");
    fs::create_directories(top + "/Latest");
    fs::create_directory_symlink(tmp / "documents/sub", top + "/Latest/deeplink");
    writeFile(updatePath(), "deeplink/../../beside.txt\r\ndeeplink/../../../beside.txt\r\n../beside.txt\r\n");
    setList({fileItem(source("a.txt"))});

    const RunOutcome out = run(false);
    EXPECT_EQ(out.end, RunEnd::Completed);
    EXPECT_EQ(readFile(beside), "the top folder's own");
    EXPECT_EQ(readFile(tmp / "beside.txt"), "outside the top folder");
    EXPECT_EQ(readFile(gen(1, "a.txt")), "x") << "the sound line still rotates";
    EXPECT_FALSE(fs::exists(gen(1, "deeplink")));
    EXPECT_EQ(readFile(outside), "x");
}

TEST(UpdateListTest, LoadedListNeedsSavingUnlessSavedAsItWouldWriteIt)
{
    TempDir tmp;
    const auto loaded = [&](const std::string& content) {
        UpdateList list;
        list.load(writeFile(tmp / "_update", content));
        return list;
    };
    EXPECT_FALSE(loaded("a.txt\r\nb/x.txt\r\n").needsSave());
    EXPECT_FALSE(loaded("").needsSave());
    EXPECT_TRUE(loaded("a.txt\nb/x.txt\n").needsSave()) << "LF only";
    EXPECT_TRUE(loaded("a.txt\r\nb/x.txt").needsSave()) << "last line without its end";
    EXPECT_TRUE(loaded("b/x.txt\r\na.txt\r\n").needsSave()) << "unsorted";
    EXPECT_TRUE(loaded("a.txt\r\na.txt\r\nb/x.txt\r\n").needsSave()) << "a path twice";
    EXPECT_TRUE(loaded("a.txt\r\n\r\nb/x.txt\r\n").needsSave()) << "a blank line";

    // Saving makes the file what a load takes as saved.
    UpdateList list = loaded("b/x.txt\na.txt\na.txt\n");
    ASSERT_EQ(list.save(tmp / "_update"), 0);
    EXPECT_FALSE(loaded(readFile(tmp / "_update")).needsSave());
}

// Paths added during a run are sorted in when the list is read or saved: one already listed
// changes nothing, and a long list is written in pieces that make up the same text.
TEST(UpdateListTest, AddedPathsAreSortedInAndOnlyNewOnesNeedASave)
{
    TempDir tmp;
    UpdateList list;
    list.load(writeFile(tmp / "_update", "a.txt\r\nc/d.txt\r\n"));
    list.add("c/d.txt");
    EXPECT_FALSE(list.needsSave()) << "already listed";
    list.add("b.txt");
    list.add("a.txt");
    list.add("b.txt");
    EXPECT_TRUE(list.needsSave());
    EXPECT_EQ(Strings(list.paths().begin(), list.paths().end()), (Strings{"a.txt", "b.txt", "c/d.txt"}));

    UpdateList before;
    before.add("z.txt");  // queued before the saved list is read: the file lacks it
    before.load(tmp / "_update");
    EXPECT_TRUE(before.needsSave());

    UpdateList big;
    std::string expected;
    Strings paths;
    for (int i = 0; i < 30000; ++i)
        paths.push_back("folder" + std::to_string(i % 97) + "/file" + std::to_string(i) + ".dat");
    for (const std::string& p : paths)
        big.add(p);
    std::sort(paths.begin(), paths.end());
    for (const std::string& p : paths)
        expected += p + "\r\n";
    ASSERT_GT(expected.size(), 512u * 1024);
    ASSERT_EQ(big.save(tmp / "_big"), 0);
    EXPECT_TRUE(readFile(tmp / "_big") == expected);
    UpdateList back;
    back.load(tmp / "_big");
    EXPECT_FALSE(back.needsSave());
    EXPECT_EQ(back.size(), 30000u);
    back.clear();
    EXPECT_TRUE(back.needsSave());
    EXPECT_TRUE(back.empty());
}

}  // namespace
}  // namespace renvo::enginetest
