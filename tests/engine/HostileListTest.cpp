// Records a run must not trust: destinations that leave Latest, addresses that are no full
// paths or overlap the top folder, links that lead out of the mirror, damaged table entries.
// Whatever the list file holds, nothing outside Latest is written or deleted, and nothing at
// a source.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "engine/EngineTestUtil.h"
#include "engine/TableFile.h"
#include "platform/FileSys.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class HostileListTest : public EngineTest {
protected:
    // Files a careless run would delete: beside the top folder, in the program folder, at the source.
    void SetUp() override
    {
        EngineTest::SetUp();
        victims = {source("keep/a.txt"), writeFile(tmp / "documents/letter.txt", "letter"),
                   writeFile(top + "/beside.txt", "beside")};
    }
    void expectVictimsWhole()
    {
        for (const std::string& v : victims)
            EXPECT_TRUE(fs::exists(v)) << v;
        EXPECT_TRUE(fs::exists(listPath()));
    }
    void writeRawList(const std::vector<std::string>& records)
    {
        std::string data;
        for (const std::string& r : records)
            data += r;
        writeFile(listPath(), data);
    }
    Strings victims;
};

TEST_F(HostileListTest, DestinationsThatLeaveLatestAreSkippedAndNeverPruned)
{
    for (const char* dest : {"../..", "../../..", "..", "a/../../..", "/abs", "./a", "a//b", "a/", "a/."}) {
        setList({folderItem(src + "/keep", dest, 1)});
        for (int i = 0; i < 2; ++i) {
            const RunOutcome out = run(i == 0);
            EXPECT_EQ(out.end, RunEnd::Completed) << dest;
            EXPECT_EQ(out.skippedItems, 1u) << dest;
            EXPECT_EQ(out.copies + out.deletions, 0u) << dest;
        }
        EXPECT_EQ(logLinesWith("原    因: "), Strings{std::string("原    因: ミラーリング先が不正です: ") + dest});
        expectVictimsWhole();
    }
    EXPECT_FALSE(fs::exists(top + "/a"));
    EXPECT_FALSE(fs::exists(tmp / "abs"));
}

TEST_F(HostileListTest, AddressesThatAreNoFullPathsOrOverlapTheTopAreSkipped)
{
    writeFile(latest("inside/x.txt"), "mirrored");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "対象アドレスがありません"},
        {"keep", "対象アドレスが完全なパスではありません"},
        {top, "対象アドレスがミラーリングのトップフォルダと重なっています"},
        {top + "/Latest/inside", "対象アドレスがミラーリングのトップフォルダと重なっています"},
        {tmp.path(), "対象アドレスがミラーリングのトップフォルダと重なっています"},
        {top + "/../top/Latest", "対象アドレスがミラーリングのトップフォルダと重なっています"},
    };
    for (const auto& [address, why] : cases) {
        setList({folderItem(address, "d", 1)});
        const RunOutcome out = run(false);
        EXPECT_EQ(out.skippedItems, 1u) << address;
        EXPECT_EQ(out.copies + out.deletions + out.droppedItems, 0u) << address;
        EXPECT_EQ(logLinesWith("原    因: "), Strings{"原    因: " + why}) << address;
        expectVictimsWhole();
        EXPECT_TRUE(fs::exists(latest("inside/x.txt")));
    }
    // A file item named "." or ".." has no name to be copied under.
    setList({fileItem(src + "/keep/.."), fileItem(src + "/keep/")});
    EXPECT_EQ(run(true).skippedItems, 2u);
    EXPECT_EQ(logLinesWith("原    因: "), Strings(2, "原    因: 対象アドレスのファイル名が不正です"));
}

TEST_F(HostileListTest, AddressWhoseLengthCoversTheZeroPaddingIsSkipped)
{
    MirrorItem item = folderItem(src + "/keep", "", 1);
    uint8_t record[kItemRecordSize];
    encodeItem(item, record);
    record[2] = static_cast<uint8_t>(item.address.size() + 5);  // NUL bytes now belong to the address
    writeRawList({std::string(reinterpret_cast<const char*>(record), sizeof record)});

    const RunOutcome out = run(false);
    EXPECT_EQ(out.skippedItems, 1u);
    EXPECT_EQ(out.copies, 0u);
    EXPECT_EQ(logLinesWith("原    因: "), Strings{"原    因: 対象アドレスに NUL 文字が含まれています"});
    expectVictimsWhole();
    EXPECT_EQ(readFile(listPath()).size(), kItemRecordSize) << "the record stays as it was";
}

TEST_F(HostileListTest, DestinationThroughALinkOutOfLatestIsSkipped)
{
    fs::create_directories(top + "/Latest");
    fs::create_directory_symlink(tmp / "documents", top + "/Latest/out");
    setList({folderItem(src + "/keep", "out", 1), folderItem(src + "/keep", "out/deeper", 1)});
    const RunOutcome out = run(false);
    EXPECT_EQ(out.skippedItems, 2u);
    EXPECT_EQ(out.deletions, 0u);
    EXPECT_EQ(logLinesWith("原    因: "),
              (Strings{"原    因: ミラーリング先がリンクで Latest の外を指しています: out",
                       "原    因: ミラーリング先がリンクで Latest の外を指しています: out/deeper"}));
    expectVictimsWhole();
    EXPECT_FALSE(fs::exists(tmp / "documents/a.txt"));
}

TEST_F(HostileListTest, CopyNeverFollowsALinkLeftInTheMirror)
{
    // An earlier run mirrored a link named "sub"; now the source has a folder of that name.
    source("tree/sub/new.txt");
    source("tree/top.txt");
    fs::create_directories(top + "/Latest");
    fs::create_directory_symlink(tmp / "documents", top + "/Latest/sub");
    setList({folderItem(src + "/tree", "", 2)});
    const RunOutcome out = run(true);
    EXPECT_EQ(out.failedCopies, 1u);
    EXPECT_EQ(logLinesWith("複製失敗: "), Strings{"複製失敗: " + src + "/tree/sub/new.txt ->X " + latest("sub/new.txt")});
    EXPECT_FALSE(fs::exists(tmp / "documents/new.txt")) << "nothing is written through the link";
    EXPECT_EQ(readFile(latest("top.txt")), "x");
}

TEST_F(HostileListTest, DamagedTableEntriesCannotLeadCopiesOutOfTheMirror)
{
    const std::string escaping = writeFile(tmp / "secret.txt", "secret");
    source("t/a.txt");
    TableBuffer table;
    ASSERT_TRUE(table.record(src + "/t", {src + "/t/a.txt", src + "/t/../../secret.txt", src + "/t/./a.txt",
                                          src + "/t//a.txt"}));
    ASSERT_EQ(table.save(tablePath()), 0);
    setList({folderItem(src + "/t", "", 3)});

    const RunOutcome out = run(true);
    EXPECT_EQ(out.copies, 1u) << "only the sound entry is copied";
    EXPECT_EQ(readFile(latest("a.txt")), "x");
    EXPECT_FALSE(fs::exists(top + "/secret.txt"));
    EXPECT_FALSE(fs::exists(top + "/Latest/../secret.txt"));
    EXPECT_EQ(readFile(escaping), "secret");
}

TEST_F(HostileListTest, TopFolderThatIsNoFullPathEndsTheRunBeforeAnythingHappens)
{
    setList({folderItem(src + "/keep", "", 1)});
    for (const std::string& bad : {std::string(), std::string("relative/top")}) {
        host.snap.MirTopFolder = bad;
        const RunOutcome out = run(false);
        EXPECT_EQ(out.end, RunEnd::Failed) << bad;
        EXPECT_EQ(out.copies, 0u);
        EXPECT_EQ(logLinesWith("設定不正: "),
                  Strings{"設定不正: ミラーリングのトップフォルダが完全なパスではありません: " + bad});
    }
    expectVictimsWhole();
    EXPECT_FALSE(fs::exists("relative"));
}

}  // namespace
}  // namespace renvo::enginetest
