// The table file: its records, look-ups in damaged tables, and table-mode folders in runs.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/EngineTestUtil.h"
#include "engine/TableFile.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr const char* kSearchError = "テーブルリードエラー：サーチ";
constexpr const char* kReadError = "テーブルリードエラー：リード";

class TableTest : public EngineTest {
protected:
    Strings lookup(TableBuffer& table, const std::string& address, TableBuffer::Lookup expected)
    {
        Strings files;
        EXPECT_EQ(table.lookup(address, files), expected) << address;
        return files;
    }
    TableBuffer loaded(const std::string& bytes)
    {
        writeFile(tablePath(), bytes);
        TableBuffer table;
        table.load(tablePath());
        return table;
    }
    Strings shownErrors() const
    {
        Strings out;
        for (const PromptMessage& e : prompt.asked) {
            EXPECT_EQ(e.caption, "ストリームエラー");
            EXPECT_EQ(e.icon, PromptIcon::Error);
            out.push_back(e.text);
        }
        return out;
    }
};

TEST_F(TableTest, BlocksAreStoredAsFixedRecords)
{
    TableBuffer table;
    ASSERT_TRUE(table.record("/src/A", {"/src/A/x", "/src/A/y"}));
    ASSERT_TRUE(table.record("/src/B", {}));
    ASSERT_EQ(table.save(tablePath()), 0);

    const std::string raw = readFile(tablePath());
    ASSERT_EQ(raw.size(), 6 * kTableRecordSize);
    EXPECT_EQ(raw.substr(0, 8), std::string("\x01\x06/src/A", 8));
    EXPECT_EQ(raw.substr(8, 249), std::string(249, '\0'));
    EXPECT_EQ(raw.substr(257, 10), std::string("\x00\x08/src/A/x", 10));
    EXPECT_EQ(raw.substr(3 * 257, 18), std::string("\x01\x10", 2) + "dummy but needed");

    TableBuffer back = loaded(raw);
    EXPECT_EQ(lookup(back, "/src/A", TableBuffer::Lookup::Found), (Strings{"/src/A/x", "/src/A/y"}));
    EXPECT_TRUE(lookup(back, "/src/B", TableBuffer::Lookup::Found).empty());
    lookup(back, "/src/a", TableBuffer::Lookup::NotFound);  // letter case counts
    lookup(back, "/src/C", TableBuffer::Lookup::NotFound);
    EXPECT_EQ(back.bytes(), raw) << "look-ups in a sound table change nothing";

    TableBuffer small = loaded("");
    lookup(small, "/src/A", TableBuffer::Lookup::NotFound);
    EXPECT_FALSE(table.record("/src/C", {"/src/C/" + std::string(250, 'n')})) << "a path over 255 bytes";
}

// A table is read from its file as needed and large recordings go to a nameless spill file:
// what is looked up and saved must be the same bytes as a table held whole in memory.
TEST_F(TableTest, LargeTablesReadFromTheFileAndSpilledRecordsSaveTheSameBytes)
{
    Strings big;
    for (int i = 0; i < 40000; ++i)  // over 10 MB of records: more than memory holds
        big.push_back("/src/big/" + std::to_string(i) + std::string(i % 200, 'x'));
    TableBuffer inMemory;
    ASSERT_TRUE(inMemory.record("/src/old", {"/src/old/1"}));
    ASSERT_TRUE(inMemory.record("/src/big", big));
    ASSERT_TRUE(inMemory.record("/src/after", {"/src/after/1", "/src/after/2"}));
    const std::string expected = inMemory.bytes();

    writeFile(tablePath(), expected.substr(0, 3 * kTableRecordSize));  // the /src/old block alone
    TableBuffer table;
    table.load(tablePath());
    ASSERT_TRUE(table.record("/src/big", big));
    ASSERT_TRUE(table.record("/src/after", {"/src/after/1", "/src/after/2"}));
    EXPECT_EQ(lookup(table, "/src/big", TableBuffer::Lookup::Found), big);
    EXPECT_EQ(lookup(table, "/src/after", TableBuffer::Lookup::Found), (Strings{"/src/after/1", "/src/after/2"}));
    EXPECT_EQ(lookup(table, "/src/old", TableBuffer::Lookup::Found), Strings{"/src/old/1"});
    EXPECT_TRUE(table.bytes() == expected);
    const Strings before = [&] {
        Strings names;
        for (const auto& e : fs::directory_iterator(fs::path(tablePath()).parent_path()))
            names.push_back(e.path().filename().string());
        return names;
    }();
    ASSERT_EQ(table.save(tablePath()), 0);
    EXPECT_TRUE(readFile(tablePath()) == expected);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(fs::path(tablePath()).parent_path()))
        ++entries;
    EXPECT_EQ(entries, before.size()) << "the spill file has no name to leave behind";

    // A cut after the spill (the damaged-tail repair) and a fresh block behind it.
    TableBuffer back;
    back.load(tablePath());
    EXPECT_EQ(lookup(back, "/src/big", TableBuffer::Lookup::Found).size(), big.size());
    ASSERT_TRUE(back.record("/src/more", {"/src/more/1"}));
    EXPECT_EQ(lookup(back, "/src/more", TableBuffer::Lookup::Found), Strings{"/src/more/1"});
}

TEST_F(TableTest, ATableChangedOnDiskUnderTheRunIsDamageNotACrash)
{
    TableBuffer sound;
    sound.record("/a", {"/a/1", "/a/2"});
    sound.record("/b", {"/b/1"});
    const std::string raw = sound.bytes();
    TableBuffer t = loaded(raw);
    // Cut in place by someone else while the run holds it open.
    ASSERT_EQ(::truncate(tablePath().c_str(), 4 * kTableRecordSize + 10), 0);
    lookup(t, "/b", TableBuffer::Lookup::SearchError);
    EXPECT_EQ(lookup(t, "/a", TableBuffer::Lookup::Found), (Strings{"/a/1", "/a/2"}));

    // A saved table replaces the file as a whole: its own open copy stays readable.
    TableBuffer u = loaded(raw);
    ASSERT_EQ(u.save(tablePath() + ".copy"), 0);
    EXPECT_EQ(readFile(tablePath() + ".copy"), raw);
    writeFile(tablePath() + ".new", "replaced");
    fs::rename(tablePath() + ".new", tablePath());
    EXPECT_EQ(lookup(u, "/b", TableBuffer::Lookup::Found), Strings{"/b/1"}) << "the file as it was loaded";

    // A pipe in the table's place is no table: nothing waits on it.
    fs::remove(tablePath());
    ASSERT_EQ(::mkfifo(tablePath().c_str(), 0600), 0);
    ::alarm(60);
    TableBuffer p;
    p.load(tablePath());
    ::alarm(0);
    EXPECT_TRUE(p.empty());
    EXPECT_TRUE(p.needsSave());
}

TEST_F(TableTest, DamagedTablesGiveAnErrorAndLoseTheDamagedPart)
{
    TableBuffer sound;
    sound.record("/a", {"/a/1", "/a/2"});
    sound.record("/b", {"/b/1"});
    const std::string raw = sound.bytes();  // records: a, a1, a2, end, b, b1, end
    const auto cut = [&](size_t records, size_t extra = 0) { return raw.substr(0, records * 257 + extra); };

    // Matching start record last; block without its end record.
    for (size_t records : {5u, 6u}) {
        TableBuffer t = loaded(cut(records));
        lookup(t, "/b", TableBuffer::Lookup::ReadError);
        lookup(t, "/a", TableBuffer::Lookup::Found);
        lookup(t, "/b", TableBuffer::Lookup::NotFound);
    }
    // A cut-off record and a foreign record type, met while searching.
    std::string foreign = raw;
    foreign[4 * 257] = 2;
    for (const std::string& bytes : {cut(4, 100), foreign}) {
        TableBuffer t = loaded(bytes);
        lookup(t, "/b", TableBuffer::Lookup::SearchError);
        EXPECT_EQ(t.bytes(), cut(4));
        lookup(t, "/a", TableBuffer::Lookup::Found);
    }
    // A block cut off before the next one starts: only that block is lost.
    {
        TableBuffer t = loaded(cut(2) + raw.substr(4 * 257));
        lookup(t, "/a", TableBuffer::Lookup::ReadError);
        EXPECT_EQ(t.bytes(), raw.substr(4 * 257));
        EXPECT_EQ(lookup(t, "/b", TableBuffer::Lookup::Found), Strings{"/b/1"});
    }
    // Another folder's block without its end record, met while searching.
    {
        TableBuffer t = loaded(cut(6));
        lookup(t, "/c", TableBuffer::Lookup::SearchError);
        EXPECT_EQ(t.bytes(), cut(4));
        t.record("/c", {"/c/1"});
        lookup(t, "/b", TableBuffer::Lookup::NotFound);
        EXPECT_EQ(lookup(t, "/c", TableBuffer::Lookup::Found), Strings{"/c/1"});
    }
}

TEST_F(TableTest, DamageInsideABlockCutsTheTableAtThatBlocksStart)
{
    TableBuffer sound;
    sound.record("/a", {"/a/1"});
    sound.record("/b", {"/b/1", "/b/2", "/b/3"});
    sound.record("/c", {"/c/1"});
    const std::string raw = sound.bytes();  // records: a, a1, end, b, b1, b2, b3, end, c, c1, end
    const auto cut = [&](size_t records, size_t extra = 0) { return raw.substr(0, records * 257 + extra); };
    const std::string beforeB = cut(3);

    // Met while searching for a folder that is not there: a foreign record type, a record cut
    // off, and the end of the table, each a few records into /b's block.
    std::string foreign = raw;
    foreign[5 * 257] = 2;
    for (const std::string& bytes : {foreign, cut(6, 100), cut(6)}) {
        TableBuffer t = loaded(bytes);
        lookup(t, "/x", TableBuffer::Lookup::SearchError);
        EXPECT_EQ(t.bytes(), beforeB) << "the blocks before the damaged one, nothing of it";
        EXPECT_TRUE(t.needsSave());
        EXPECT_EQ(lookup(t, "/a", TableBuffer::Lookup::Found), Strings{"/a/1"});
        lookup(t, "/b", TableBuffer::Lookup::NotFound);
        t.record("/b", {"/b/9"});
        EXPECT_EQ(lookup(t, "/b", TableBuffer::Lookup::Found), Strings{"/b/9"});
    }
}

TEST_F(TableTest, AfterABrokenBlockIsTakenOutTheRestIsCheckedBeforeAFreshBlockFollows)
{
    const auto rec = [](char type, const std::string& text) {
        std::string r(kTableRecordSize, '\0');
        r[0] = type;
        r[1] = static_cast<char>(text.size());
        r.replace(2, text.size(), text);
        return r;
    };
    const std::string end = rec(1, kTableEndText);
    const std::string c = rec(1, "/c") + rec(0, "/c/1") + end;

    // Behind /a's broken block: a foreign record, a block cut off at the end, a torn record,
    // and an older block of /a itself. Each would be found before /a's fresh block.
    const std::vector<std::pair<std::string, std::string>> cases{
        {c + rec(1, "/b") + rec(7, "/b/1") + c, c},
        {c + rec(1, "/b") + rec(0, "/b/1"), c},
        {c + rec(1, "/b").substr(0, 100), c},
        {c + rec(1, "/a") + rec(0, "/a/old") + end + c, c},
    };
    for (const auto& [behind, kept] : cases) {
        TableBuffer t = loaded(rec(1, "/a") + rec(0, "/a/1") + behind);
        lookup(t, "/a", TableBuffer::Lookup::ReadError);
        EXPECT_TRUE(t.bytes() == kept) << "the sound blocks behind stay, the damage goes";
        ASSERT_TRUE(t.record("/a", {"/a/2"}));
        EXPECT_EQ(lookup(t, "/a", TableBuffer::Lookup::Found), Strings{"/a/2"});
        EXPECT_EQ(lookup(t, "/c", TableBuffer::Lookup::Found), Strings{"/c/1"});
    }
}

TEST_F(TableTest, StandardRunsUseTheListOfTheLastCompleteRun)
{
    source("t/a.txt");
    setList({folderItem(src + "/t", "", 3)});
    run(false);
    EXPECT_TRUE(fs::exists(latest("a.txt")));

    source("t/added.txt");
    fs::remove(src + "/t/a.txt");
    for (int i = 0; i < 2; ++i) {
        const RunOutcome out = run(true);
        EXPECT_EQ(out.failedCopies, 1u) << "the deleted file is still listed";
        EXPECT_FALSE(fs::exists(latest("added.txt"))) << "the added file is not listed yet";
    }
    EXPECT_EQ(logLinesWith("複製失敗: "), Strings{"複製失敗: " + src + "/t/a.txt ->X " + latest("a.txt")});

    const RunOutcome complete = run(false);
    EXPECT_EQ(complete.failedCopies, 0u);
    EXPECT_EQ(complete.copies, 1u);
    EXPECT_TRUE(fs::exists(latest("added.txt")));
    EXPECT_TRUE(fs::exists(latest("a.txt"))) << "table mode keeps deleted files";
    EXPECT_EQ(run(true).copies, 0u);
}

TEST_F(TableTest, TruncatedTableIsScannedAfreshWithoutAWrongList)
{
    source("x/1.txt");
    source("x/2.txt");
    source("a/1.txt");
    const MirrorItem a = folderItem(src + "/a", "a", 3);
    const MirrorItem x = folderItem(src + "/x", "x", 3);
    setList({x});
    run(false);
    // The table loses x's last entry and its end record; a is new to the table.
    const std::string raw = readFile(tablePath());
    ASSERT_EQ(raw.size(), 4 * kTableRecordSize);
    writeFile(tablePath(), raw.substr(0, 2 * kTableRecordSize));
    fs::remove(latest("x/2.txt"));
    setList({a, x});

    prompt.expect("ストリームエラー", PromptAnswer::Ok);
    run(true);
    EXPECT_EQ(shownErrors(), Strings{kSearchError});
    EXPECT_TRUE(fs::exists(latest("x/2.txt"))) << "x is scanned afresh, not read from its cut block";
    EXPECT_TRUE(fs::exists(latest("a/1.txt")));

    source("x/4.txt");
    run(true);
    EXPECT_TRUE(prompt.asked.empty()) << "the saved table is sound";
    EXPECT_FALSE(fs::exists(latest("x/4.txt"))) << "now the table is used";
    TableBuffer saved;
    saved.load(tablePath());
    EXPECT_EQ(lookup(saved, src + "/x", TableBuffer::Lookup::Found), (Strings{src + "/x/1.txt", src + "/x/2.txt"}));

    // The folder's own block cut after its start record.
    writeFile(tablePath(), readFile(tablePath()).substr(0, 4 * kTableRecordSize));
    source("x/3.txt");
    prompt.expect("ストリームエラー", PromptAnswer::Ok);
    run(true);
    EXPECT_EQ(shownErrors(), Strings{kReadError});
    EXPECT_TRUE(fs::exists(latest("x/3.txt")));
    EXPECT_TRUE(fs::exists(latest("x/4.txt")));
}

TEST_F(TableTest, CancelledCompleteRunLeavesNoTableAndTheNextRunRecords)
{
    source("t/a.txt");
    setList({folderItem(src + "/t", "", 3)});
    run(false);
    ASSERT_TRUE(fs::exists(tablePath()));

    host.stopAfter = [](const Report& r) { return r.phase == 1; };  // at the first record
    prompt.expect(kCancelCaption, PromptAnswer::Ok);
    run(false);
    EXPECT_FALSE(fs::exists(tablePath()));

    host.stopAfter = nullptr;
    source("t/b.txt");
    run(true);
    EXPECT_TRUE(fs::exists(latest("b.txt"))) << "no table: the folder is scanned";
    TableBuffer saved;
    saved.load(tablePath());
    EXPECT_EQ(lookup(saved, src + "/t", TableBuffer::Lookup::Found), (Strings{src + "/t/a.txt", src + "/t/b.txt"}));
}

TEST_F(TableTest, FolderWithAnOverlongPathIsScannedEveryTime)
{
    const std::string deep = std::string(200, 'd');
    source(deep + "/" + std::string(60, 'f'));
    setList({folderItem(src, "", 3)});
    run(false);
    EXPECT_EQ(readFile(tablePath()), "") << "not recorded";

    source("late.txt");
    run(true);
    EXPECT_TRUE(fs::exists(latest("late.txt")));
    EXPECT_TRUE(prompt.asked.empty());
}

}  // namespace
}  // namespace renvo::enginetest

namespace renvo::enginetest {

TEST_F(TableTest, FilesThatWouldNotChangeAreNotRewritten)
{
    source("t/a.txt");
    source("t/sub/b.txt");
    setList({folderItem(src + "/t", "", 3)});
    run(false);
    struct stat table {}, update {};
    ASSERT_EQ(::stat(tablePath().c_str(), &table), 0);
    ASSERT_EQ(::stat(updatePath().c_str(), &update), 0);

    // Nothing new: the same table and the same (empty) update list, so the files stay as they are.
    EXPECT_EQ(run(true).copies, 0u);
    struct stat after {};
    ASSERT_EQ(::stat(tablePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, table.st_ino);
    ASSERT_EQ(::stat(updatePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, update.st_ino);

    // A changed file adds to the update list, which is then saved; the table still stands.
    source("t/a.txt", "new", 1700000000);
    EXPECT_EQ(run(true).copies, 1u);
    EXPECT_EQ(readFile(updatePath()), "a.txt\r\n");
    ASSERT_EQ(::stat(tablePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, table.st_ino);
}

}  // namespace renvo::enginetest
