// The list editor's row model: display words both ways through real list files, odd stored
// bytes, the dirty flag, row edits, and the checks made at input.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "common/ListItems.h"
#include "common/Privileges.h"
#include "common/TempDir.h"
#include "engine/ItemChecks.h"
#include "engine/ItemList.h"
#include "platform/FileNames.h"

namespace renvo::test {
namespace {

namespace fs = std::filesystem;

ItemTexts texts(const char* kind, const char* run, const std::string& address, const char* subfolders,
                const char* masks, const char* option, const char* dest)
{
    return {kind, run, address, subfolders, masks, option, dest};
}

class ItemListTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string listPath = tmp / kListFileName;

    // A list file holding these records exactly as given.
    void writeRecords(const std::vector<MirrorItem>& items)
    {
        std::string raw(items.size() * kItemRecordSize, '\0');
        for (size_t i = 0; i < items.size(); ++i)
            encodeItem(items[i], reinterpret_cast<uint8_t*>(raw.data() + i * kItemRecordSize));
        writeFile(listPath, raw);
    }
    // Record `i` of the list file.
    std::string record(size_t i) { return readFile(listPath).substr(i * kItemRecordSize, kItemRecordSize); }
};

TEST_F(ItemListTest, EveryWordSurvivesSaveAndLoad)
{
    // Every run condition, folder option and subfolder word, in folder and file rows.
    const std::vector<ItemTexts> rows = {
        texts("Folder", "しない", "/data/a", "する", "*.txt *.doc", "準拠", "a"),
        texts("Folder", "いつもする", "/data/b", "しない", "*.*", "同期", "x/b"),
        texts("Folder", "完全時のみ", "/data/c", "する", "c*", "同期保持", ""),
        texts("Folder", "いつもする", "/data/d", "しない", "*.*", "テーブル", "d"),
        texts("File", "完全時のみ", "/data/e.txt", "-", "-", "同期", "data"),
        texts("File", "しない", "/data/f.txt", "-", "-", "テーブル", ""),
    };
    ItemList list;
    for (const ItemTexts& t : rows)
        list.add(itemFromTexts(t));
    ASSERT_EQ(list.save(listPath), 0);

    // The stored bytes follow the save rules.
    struct Bytes {
        uint8_t run, kind, subfolders, option, everyRun;
    };
    const Bytes expected[] = {{0, 0, 1, 0, 0}, {1, 0, 0, 1, 1}, {1, 0, 1, 2, 0},
                              {1, 0, 0, 3, 1}, {1, 1, 0, 1, 0}, {0, 1, 0, 3, 0}};
    ASSERT_EQ(readFile(listPath).size(), rows.size() * kItemRecordSize);
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string r = record(i);
        EXPECT_EQ(r[0], expected[i].run) << i;
        EXPECT_EQ(r[1], expected[i].kind) << i;
        EXPECT_EQ(r[258], expected[i].subfolders) << i;
        EXPECT_EQ(r[515], expected[i].option) << i;
        EXPECT_EQ(r[776], expected[i].everyRun) << i;
    }

    ItemList back;
    ASSERT_TRUE(back.load(listPath));
    ASSERT_EQ(back.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(back.rowAt(i).texts, rows[i]) << i;
        EXPECT_EQ(back.rowAt(i).isFile, i >= 4) << i;
    }
}

TEST_F(ItemListTest, FileItemShowsDashesAndStoresThem)
{
    ItemList list;
    list.add(itemFromTexts(texts("File", "いつもする", "/docs/a.txt", "-", "-", "準拠", "docs")));
    ASSERT_EQ(list.save(listPath), 0);
    const std::string r = record(0);
    EXPECT_EQ(r[1], 1) << "kind";
    EXPECT_EQ(r[258], 0) << "no subfolder search";
    EXPECT_EQ(r.substr(259, 2), std::string("\x01-", 2)) << "masks are the dash";

    ItemList back;
    ASSERT_TRUE(back.load(listPath));
    const ItemRow row = back.rowAt(0);
    EXPECT_TRUE(row.isFile);
    EXPECT_EQ(row.texts[colSubfolders], "-");
    EXPECT_EQ(row.texts[colMasks], "-");

    // A file item shows dashes whatever its stored subfolder flag and masks hold.
    MirrorItem odd = back.at(0);
    odd.subfolders = 1;
    odd.masks = "*.txt";
    EXPECT_EQ(rowOf(odd).texts[colSubfolders], "-");
    EXPECT_EQ(rowOf(odd).texts[colMasks], "-");
}

TEST_F(ItemListTest, OddStoredBytesSurviveAnUneditedLoadAndSave)
{
    MirrorItem a;  // every flag above 1, option above 3
    a.runFlag = 2;
    a.kind = 0;
    a.address = "/data/a";
    a.subfolders = 5;
    a.masks = "*.*";
    a.folderOption = 9;
    a.dest = "a";
    a.everyRun = 7;
    MirrorItem b = a;  // not running, whatever the every-run flag says
    b.runFlag = 0;
    b.everyRun = 4;
    b.folderOption = 200;
    b.address = "/data/b";
    MirrorItem c = a;  // a file item with an odd kind byte
    c.kind = 3;
    c.address = "/data/c.txt";
    c.masks = "-";
    c.subfolders = 0;
    c.everyRun = 0;
    writeRecords({a, b, c});
    const std::string before = readFile(listPath);

    ItemList list;
    ASSERT_TRUE(list.load(listPath));
    EXPECT_EQ(list.rowAt(0).texts, texts("Folder", "いつもする", "/data/a", "する", "*.*", "同期保持", "a"));
    EXPECT_EQ(list.rowAt(1).texts[colRun], "しない");
    EXPECT_EQ(list.rowAt(1).texts[colOption], "同期保持") << "an option above 3 keeps deleted files";
    EXPECT_EQ(list.rowAt(2).texts[colKind], "File");
    EXPECT_EQ(list.rowAt(2).texts[colRun], "完全時のみ");

    // Putting the shown texts back, or a word a field already shows, changes no byte.
    for (size_t i = 0; i < list.size(); ++i)
        list.setTexts(i, list.rowAt(i).texts);
    list.setRunCondition(0, RunCondition::Always);
    list.setFolderOption(0, 2);
    list.setRunCondition(1, RunCondition::Never);
    EXPECT_FALSE(list.dirty());
    ASSERT_EQ(list.save(listPath), 0);
    EXPECT_EQ(readFile(listPath), before);

    // An edited field is written by the save rules; the other fields keep their bytes.
    list.setRunCondition(0, RunCondition::CompleteOnly);
    ItemTexts t = list.rowAt(1).texts;
    t[colOption] = "同期";
    list.setTexts(1, t);
    ASSERT_EQ(list.save(listPath), 0);
    const std::string r0 = record(0);
    EXPECT_EQ(r0[0], 1);
    EXPECT_EQ(r0[776], 0);
    EXPECT_EQ(r0[258], 5);
    EXPECT_EQ(r0[515], 9);
    const std::string r1 = record(1);
    EXPECT_EQ(r1[515], 1);
    EXPECT_EQ(r1[0], 0);
    EXPECT_EQ(r1[776], 4);
    EXPECT_EQ(record(2), before.substr(2 * kItemRecordSize));
}

TEST_F(ItemListTest, DirtyFlagFollowsChangesLoadAndSave)
{
    ItemList list;
    EXPECT_FALSE(list.dirty());
    list.add(itemFromTexts(texts("Folder", "いつもする", "/a", "する", "*.*", "準拠", "a")));
    EXPECT_TRUE(list.dirty());
    ASSERT_EQ(list.save(listPath), 0);
    EXPECT_FALSE(list.dirty());

    list.replace(0, list.at(0));
    EXPECT_FALSE(list.dirty()) << "replacing a row by itself changes nothing";
    list.setFolderOption(0, 3);
    EXPECT_TRUE(list.dirty());
    ASSERT_TRUE(list.load(listPath));
    EXPECT_FALSE(list.dirty());
    EXPECT_EQ(list.at(0).folderOption, 0) << "load replaces the rows";

    list.insert(0, itemFromTexts(texts("File", "しない", "/b", "-", "-", "準拠", "")));
    EXPECT_TRUE(list.dirty());
    // No list file: the rows and the flag stay as they are.
    EXPECT_FALSE(list.load(tmp / "missing"));
    EXPECT_TRUE(list.dirty());
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/b", "/a"}));

    ASSERT_EQ(list.save(listPath), 0);
    list.reorder({0, 1});
    list.move(1, 1);
    list.remove({});
    EXPECT_FALSE(list.dirty()) << "orders that change nothing";
    list.reorder({1, 0});
    EXPECT_TRUE(list.dirty());
    ASSERT_EQ(list.save(listPath), 0);
    list.clear();
    EXPECT_TRUE(list.dirty());
    ASSERT_EQ(list.save(listPath), 0);
    EXPECT_EQ(readFile(listPath), "") << "a cleared list saves an empty file";
}

TEST_F(ItemListTest, RowsAreRemovedAndMovedInOrder)
{
    ItemList list;
    for (const char* a : {"/0", "/1", "/2", "/3", "/4", "/5"})
        list.add(itemFromTexts(texts("Folder", "いつもする", a, "する", "*.*", "準拠", "")));
    ASSERT_EQ(list.save(listPath), 0);

    list.remove({4, 1, 1, 5});
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/0", "/2", "/3"}));
    EXPECT_TRUE(list.dirty());
    EXPECT_THROW(list.remove({0, 3}), std::out_of_range);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/0", "/2", "/3"})) << "a bad row removes nothing";

    list.move(0, 2);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/2", "/3", "/0"}));
    list.move(2, 0);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/0", "/2", "/3"}));
    list.reorder({2, 0, 1});
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/3", "/0", "/2"}));
    EXPECT_THROW(list.reorder({0, 0, 1}), std::invalid_argument);
    EXPECT_THROW(list.reorder({0, 1}), std::invalid_argument);

    // The file holds the rows in the order shown.
    ASSERT_EQ(list.save(listPath), 0);
    ItemList back;
    ASSERT_TRUE(back.load(listPath));
    EXPECT_EQ(addresses(back), (std::vector<std::string>{"/3", "/0", "/2"}));
}

TEST_F(ItemListTest, LongTextsStayInTheRowsAndAreCutInTheFile)
{
    const std::string longAddress = "/" + std::string(300, 'p');
    ItemList list;
    list.add(itemFromTexts(texts("File", "いつもする", longAddress, "-", "-", "準拠", "")));
    ASSERT_EQ(list.save(listPath), 0);
    EXPECT_EQ(list.at(0).address, longAddress);
    ItemList back;
    ASSERT_TRUE(back.load(listPath));
    EXPECT_EQ(back.at(0).address, longAddress.substr(0, 255));
}

TEST(ItemChecksTest, DestinationMustLieBelowLatest)
{
    EXPECT_EQ(checkDestination(""), ItemProblem::None) << "directly in Latest";
    EXPECT_EQ(checkDestination("a"), ItemProblem::None);
    EXPECT_EQ(checkDestination("a/b c/.d/e..f"), ItemProblem::None);
    EXPECT_EQ(checkDestination("a/../b"), ItemProblem::DestParentPart);
    EXPECT_EQ(checkDestination(".."), ItemProblem::DestParentPart);
    EXPECT_EQ(checkDestination("a/.."), ItemProblem::DestParentPart);
    EXPECT_EQ(checkDestination("./a"), ItemProblem::DestDotPart);
    EXPECT_EQ(checkDestination("."), ItemProblem::DestDotPart);
    EXPECT_EQ(checkDestination("/abs"), ItemProblem::DestAbsolute);
    EXPECT_EQ(checkDestination("a//b"), ItemProblem::DestEmptyPart);
    EXPECT_EQ(checkDestination("a/"), ItemProblem::DestEmptyPart);
    EXPECT_EQ(checkDestination(std::string("a\0b", 3)), ItemProblem::DestHasNul);
    EXPECT_EQ(checkDestination(std::string("\0", 1)), ItemProblem::DestHasNul);
    EXPECT_EQ(checkDestination("a\\..\\b"), ItemProblem::None) << "a backslash is a name character here";

    // Windows rules: both delimiters, drives, and CP932 trail bytes that are no delimiter.
    const PathRules& w = windowsCp932Rules();
    EXPECT_EQ(checkDestination("a\\..\\b", w), ItemProblem::DestParentPart);
    EXPECT_EQ(checkDestination("a/../b", w), ItemProblem::DestParentPart);
    EXPECT_EQ(checkDestination("C:\\x", w), ItemProblem::DestAbsolute);
    EXPECT_EQ(checkDestination("C:x", w), ItemProblem::DestAbsolute);
    EXPECT_EQ(checkDestination("\\x", w), ItemProblem::DestAbsolute);
    EXPECT_EQ(checkDestination("a\\", w), ItemProblem::DestEmptyPart);
    EXPECT_EQ(checkDestination("\x83\x5C", w), ItemProblem::None) << "katakana so ends in 0x5C";
    EXPECT_EQ(checkDestination("\x83\x5C\\b", w), ItemProblem::None);
    EXPECT_EQ(checkDestination("\x83\x5C\\\\b", w), ItemProblem::DestEmptyPart);
}

TEST(ItemChecksTest, AddressMustBeAFullPath)
{
    EXPECT_EQ(checkAddress(""), ItemProblem::EmptyAddress);
    EXPECT_EQ(checkAddress("/"), ItemProblem::None);
    EXPECT_EQ(checkAddress("/data/a"), ItemProblem::None);
    EXPECT_EQ(checkAddress("data/a"), ItemProblem::AddressNotAbsolute);
    EXPECT_EQ(checkAddress("~/a"), ItemProblem::AddressNotAbsolute);
    EXPECT_EQ(checkAddress(std::string("/data\0/x", 8)), ItemProblem::AddressHasNul);

    const PathRules& w = windowsCp932Rules();
    EXPECT_EQ(checkAddress("C:\\Data", w), ItemProblem::None);
    EXPECT_EQ(checkAddress("c:/Data", w), ItemProblem::None);
    EXPECT_EQ(checkAddress("\\\\server\\share\\x", w), ItemProblem::None);
    EXPECT_EQ(checkAddress("C:Data", w), ItemProblem::AddressNotAbsolute);
    EXPECT_EQ(checkAddress("\\Data", w), ItemProblem::AddressNotAbsolute);
    EXPECT_EQ(checkAddress("Data", w), ItemProblem::AddressNotAbsolute);
}

TEST(ItemChecksTest, ItemCheckAndUsageHint)
{
    MirrorItem folder = itemFromTexts(texts("Folder", "いつもする", "/data", "する", "*.*", "準拠", "data"));
    EXPECT_EQ(checkItem(folder), ItemProblem::None);
    folder.masks = "";
    EXPECT_EQ(checkItem(folder), ItemProblem::EmptyMasks);
    folder.dest = "../up";
    EXPECT_EQ(checkItem(folder), ItemProblem::EmptyMasks) << "fields are checked in the dialog's order";
    folder.masks = "*.*";
    EXPECT_EQ(checkItem(folder), ItemProblem::DestParentPart);
    folder.address = "data";
    EXPECT_EQ(checkItem(folder), ItemProblem::AddressNotAbsolute);

    MirrorItem file = itemFromTexts(texts("File", "いつもする", "/a.txt", "-", "-", "準拠", ""));
    file.masks = "";
    EXPECT_EQ(checkItem(file), ItemProblem::None) << "file items have no masks to check";

    // Only "complete runs only" together with the table option asks.
    for (const char* run : {"しない", "いつもする", "完全時のみ"}) {
        for (const char* option : {"準拠", "同期", "同期保持", "テーブル"}) {
            const MirrorItem item = itemFromTexts(texts("Folder", run, "/d", "する", "*.*", option, ""));
            EXPECT_EQ(needsUsageHint(item), std::string(run) == "完全時のみ" && std::string(option) == "テーブル")
                << run << " " << option;
        }
    }
    MirrorItem odd = itemFromTexts(texts("Folder", "完全時のみ", "/d", "する", "*.*", "テーブル", ""));
    odd.runFlag = 2;
    EXPECT_TRUE(needsUsageHint(odd));
    odd.folderOption = 9;
    EXPECT_FALSE(needsUsageHint(odd)) << "an option above 3 is shown and acts as keep deleted";
}

TEST_F(ItemListTest, UnwritableOrUnreadableListKeepsFileAndRows)
{
    ItemList list;
    list.add(itemFromTexts(texts("Folder", "いつもする", "/a", "する", "*.*", "準拠", "")));
    ASSERT_EQ(list.save(listPath), 0);
    const std::string before = readFile(listPath);
    list.add(itemFromTexts(texts("Folder", "いつもする", "/b", "する", "*.*", "準拠", "")));

    ASSERT_EQ(::chmod(tmp.path().c_str(), 0555), 0);
    {
        WithoutDacOverride noOverride;
        if (!noOverride.effective()) {
            ::chmod(tmp.path().c_str(), 0755);
            GTEST_SKIP() << "permissions do not bind here";
        }
        EXPECT_NE(list.save(listPath), 0);
    }
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    EXPECT_EQ(readFile(listPath), before);
    EXPECT_TRUE(list.dirty());
    for (const auto& e : fs::directory_iterator(tmp.path()))
        EXPECT_EQ(e.path().filename(), kListFileName) << "no temporary file is left";

    // A list file that cannot be read is an error, and the rows stay.
    ASSERT_EQ(::chmod(listPath.c_str(), 0), 0);
    {
        WithoutDacOverride noOverride;
        EXPECT_THROW(list.load(listPath), EFOpenError);
    }
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_TRUE(list.dirty());
}

}  // namespace
}  // namespace renvo::test
