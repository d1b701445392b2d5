// The list file: record layout, odd stored values, sizes, and the drop step.

#include <gtest/gtest.h>

#include <sys/file.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Privileges.h"
#include "engine/EngineTestUtil.h"
#include "engine/Evaluate.h"
#include "platform/FileSys.h"

namespace renvo::enginetest {
namespace {

class ListFileTest : public EngineTest {};

TEST_F(ListFileTest, RecordLayoutAndOddValuesSurviveRoundTrip)
{
    MirrorItem odd = folderItem("/data/a", "sub/dir", 9, "*.txt *.doc");
    odd.runFlag = 2;
    odd.subfolders = 5;
    odd.everyRun = 7;
    MirrorItem file = fileItem(std::string(300, 'p'));
    file.everyRun = 0;
    setList({odd, file});

    const std::string raw = readFile(listPath());
    ASSERT_EQ(raw.size(), 2 * kItemRecordSize);
    EXPECT_EQ(raw[0], 2);
    EXPECT_EQ(raw[1], 0);
    EXPECT_EQ(static_cast<uint8_t>(raw[2]), 7);
    EXPECT_EQ(raw.substr(3, 7), "/data/a");
    EXPECT_EQ(raw[258], 5);
    EXPECT_EQ(static_cast<uint8_t>(raw[259]), 11);
    EXPECT_EQ(raw.substr(260, 11), "*.txt *.doc");
    EXPECT_EQ(raw[515], 9);
    EXPECT_EQ(raw.substr(517, 7), "sub/dir");
    EXPECT_EQ(raw[776], 7);
    EXPECT_EQ(raw.substr(772, 4), std::string(4, '\0'));
    EXPECT_EQ(raw.substr(777, 3), std::string(3, '\0'));
    EXPECT_EQ(raw.substr(3 + 7, 255 - 7), std::string(255 - 7, '\0')) << "text fill is zero";

    const std::vector<MirrorItem> back = readListFile(listPath());
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(back[0].runs());
    EXPECT_TRUE(back[0].runsAlways());
    EXPECT_TRUE(back[0].includeSubfolders());
    EXPECT_FALSE(back[0].isFile());
    EXPECT_EQ(back[0].masks, "*.txt *.doc");
    EXPECT_EQ(back[0].dest, "sub/dir");
    EXPECT_EQ(effectiveFolderOption(back[0], 1), 2) << "an option above 3 keeps deleted files";
    EXPECT_TRUE(back[1].isFile());
    EXPECT_FALSE(back[1].runsAlways());
    EXPECT_EQ(back[1].address, std::string(255, 'p'));
    EXPECT_EQ(back[1].masks, "-");
}

TEST_F(ListFileTest, ItemCountIsSizeDividedByRecord)
{
    writeFile(listPath(), "");
    EXPECT_TRUE(readListFile(listPath()).empty());

    MirrorItem item = folderItem("/x");
    std::string raw(1000, '\0');
    encodeItem(item, reinterpret_cast<uint8_t*>(raw.data()));
    writeFile(listPath(), raw);
    const std::vector<MirrorItem> items = readListFile(listPath());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].address, "/x");

    ListReader reader(listPath());
    EXPECT_EQ(reader.count(), 1u);
}

TEST_F(ListFileTest, DropRemovesEveryRecordOfAnAddressAndKeepsOrder)
{
    setList({folderItem("/a"), fileItem("/gone"), folderItem("/b"), folderItem("/gone"), fileItem("/c"),
             folderItem("/GONE")});
    EXPECT_EQ(dropItems(prog, {"/gone"}), 2u);

    const std::vector<MirrorItem> left = readListFile(listPath());
    ASSERT_EQ(left.size(), 4u);
    EXPECT_EQ(left[0].address, "/a");
    EXPECT_EQ(left[1].address, "/b");
    EXPECT_EQ(left[2].address, "/c");
    EXPECT_TRUE(left[2].isFile());
    EXPECT_EQ(left[3].address, "/GONE") << "addresses follow the file-name rule of the platform";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prog), std::filesystem::directory_iterator()), 1)
        << "only the list is left in the program folder";
}

TEST_F(ListFileTest, DropThatCannotOpenLeavesTheListWhole)
{
    setList({folderItem("/a"), folderItem("/gone")});
    const std::string before = readFile(listPath());

    {
        // Another party holds the list.
        const int fd = ::open(listPath().c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        try {
            dropItems(prog, {"/gone"});
            ADD_FAILURE() << "no error for a locked list";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.path, listPath());
        }
        ::close(fd);
    }
    EXPECT_EQ(readFile(listPath()), before);

    // A new list that cannot be written beside the old one.
    ::chmod(prog.c_str(), 0555);
    {
        WithoutDacOverride guard;
        if (guard.effective()) {
            EXPECT_THROW(dropItems(prog, {"/gone"}), EFOpenError);
        }
    }
    ::chmod(prog.c_str(), 0755);
    EXPECT_EQ(readFile(listPath()), before);
}

TEST_F(ListFileTest, FilteredRewriteKeepsTheFileALinkNamesAndALeftoverBackupIsReplaced)
{
    // The list lives elsewhere and the program folder links to it.
    const std::string real = tmp / "real";
    std::filesystem::create_directories(real);
    setList({folderItem("/a"), folderItem("/gone"), fileItem("/c")});
    std::filesystem::rename(listPath(), real + "/" + kListFileName);
    ASSERT_EQ(::symlink((real + "/" + kListFileName).c_str(), listPath().c_str()), 0);
    // A leftover _rvbak that is a link must not be written through.
    const std::string victim = writeFile(tmp / "victim", "v");
    ASSERT_EQ(::symlink(victim.c_str(), (real + "/" + kListBackupName).c_str()), 0);

    std::vector<size_t> offered;
    size_t counted = 0;
    const ListFilterResult r = filterListFile(
        prog, [&](const MirrorItem& item, size_t index) { offered.push_back(index); return item.address != "/gone"; },
        [&](size_t n) { counted = n; });
    EXPECT_EQ(r.records, 3u);
    EXPECT_EQ(r.kept, 2u);
    EXPECT_EQ(counted, 3u);
    EXPECT_EQ(offered, (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(std::filesystem::is_symlink(listPath())) << "the link stays";
    const std::vector<MirrorItem> left = readListFile(listPath());
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].address, "/c");
    EXPECT_EQ(readFile(victim), "v");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(real + "/" + kListBackupName)));
}

}  // namespace
}  // namespace renvo::enginetest
