#include "engine/Masks.h"
#include "engine/Scan.h"
#include "platform/DirectoryFault.h"
#include "platform/FileSys.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace renvo::test {
namespace {

using Paths = std::vector<std::string>;

Paths pathsOf(const std::vector<FoundFile>& found)
{
    Paths out;
    for (const FoundFile& f : found)
        out.push_back(f.path);
    return out;
}

void makeFolder(const std::string& path)
{
    std::filesystem::create_directories(path);
}

TEST(FolderScan, DepthFirstFolderBeforeItsSubfoldersSiblingsByName)
{
    TempDir dir;
    const std::string r = dir / "root";
    for (const char* f : {"b", "a/y", "a/x/deep", "B", "a/x/Z"})
        makeFolder(r + "/" + f);
    writeFile(r + "/a/file", "");

    const Paths expected{r, r + "/B", r + "/a", r + "/a/x", r + "/a/x/Z", r + "/a/x/deep", r + "/a/y", r + "/b"};
    EXPECT_EQ(folderScan(r, true), expected);
    EXPECT_EQ(folderScan(r, false), Paths{r});
}

TEST(FolderScan, HiddenFoldersAndLinksAreNotEntered)
{
    TempDir dir;
    const std::string r = dir / "root";
    makeFolder(r + "/.git/objects");
    makeFolder(r + "/sub/.cache");
    makeFolder(r + "/other");
    ASSERT_EQ(::symlink("..", (r + "/sub/up").c_str()), 0);           // would loop
    ASSERT_EQ(::symlink((r + "/other").c_str(), (r + "/link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (r + "/dangling").c_str()), 0);

    EXPECT_EQ(folderScan(r, true), (Paths{r, r + "/other", r + "/sub"}));
}

TEST(FolderScan, ReadOnlyFoldersAreEntered)
{
    TempDir dir;
    const std::string r = dir / "root";
    writeFile(r + "/locked/f.txt", "x");
    ::chmod((r + "/locked").c_str(), 0555);
    EXPECT_EQ(folderScan(r, true), (Paths{r, r + "/locked"}));
    EXPECT_EQ(pathsOf(sourceListing(r, {"*.*"}, true)), Paths{r + "/locked/f.txt"});
}

TEST(FileScan, ListsFilesAndLinksHiddenOnesTooButNoFolders)
{
    TempDir dir;
    const std::string r = dir.path();
    writeFile(r + "/b.txt", "");
    writeFile(r + "/.profile", "");
    writeFile(r + "/A.TXT", "");
    writeFile(r + "/c.doc", "");
    makeFolder(r + "/sub.txt");
    makeFolder(r + "/.hidden");
    writeFile(r + "/target/t.txt", "");
    ASSERT_EQ(::symlink("target/t.txt", (r + "/toFile.txt").c_str()), 0);
    ASSERT_EQ(::symlink("target", (r + "/toFolder.txt").c_str()), 0);

    std::vector<FoundFile> all;
    fileScan(r, "*.*", all);
    // A link is listed as itself, also one to a folder: it is mirrored as a link.
    EXPECT_EQ(pathsOf(all), (Paths{r + "/.profile", r + "/A.TXT", r + "/b.txt", r + "/c.doc", r + "/toFile.txt",
                                   r + "/toFolder.txt"}));

    std::vector<FoundFile> txt;
    fileScan(r, "*.txt", txt);
    EXPECT_EQ(pathsOf(txt), (Paths{r + "/A.TXT", r + "/b.txt", r + "/toFile.txt", r + "/toFolder.txt"}));
    for (const FoundFile& f : txt)
        EXPECT_EQ(f.stamp, fileStamp(f.path)) << f.path;

    // Appends to what the list holds already.
    fileScan(r, "c.*", txt);
    EXPECT_EQ(txt.size(), 5u);
    EXPECT_EQ(txt.back().path, r + "/c.doc");
}

TEST(SourceListing, FolderOrderThenMaskOrderThenNameOrder)
{
    TempDir dir;
    const std::string r = dir / "root";
    writeFile(r + "/b.txt", "");
    writeFile(r + "/a.doc", "");
    writeFile(r + "/a.txt", "");
    writeFile(r + "/sub/c.txt", "");
    writeFile(r + "/sub/d.doc", "");

    EXPECT_EQ(pathsOf(sourceListing(r, splitMasks("*.txt *.doc"), true)),
              (Paths{r + "/a.txt", r + "/b.txt", r + "/a.doc", r + "/sub/c.txt", r + "/sub/d.doc"}));
    EXPECT_EQ(pathsOf(sourceListing(r, splitMasks("*.txt *.doc"), false)),
              (Paths{r + "/a.txt", r + "/b.txt", r + "/a.doc"}));
}

TEST(SourceListing, FileMatchedByTwoMasksIsListedTwice)
{
    TempDir dir;
    const std::string r = dir.path();
    writeFile(r + "/a.txt", "");
    writeFile(r + "/b.doc", "");
    EXPECT_EQ(pathsOf(sourceListing(r, splitMasks("*.txt *.*"), false)),
              (Paths{r + "/a.txt", r + "/a.txt", r + "/b.doc"}));
    // Two spaces: the empty mask between finds nothing.
    EXPECT_EQ(pathsOf(sourceListing(r, splitMasks("*.txt  *.doc"), false)), (Paths{r + "/a.txt", r + "/b.doc"}));
    EXPECT_TRUE(sourceListing(r, splitMasks(""), true).empty());
}

TEST(SourceListing, HiddenFilesYesFilesInHiddenFoldersNo)
{
    TempDir dir;
    const std::string r = dir / "root";
    writeFile(r + "/.bashrc", "");
    writeFile(r + "/.git/config", "");
    writeFile(r + "/sub/.cache/blob", "");
    writeFile(r + "/sub/.hidden-file", "");
    ASSERT_EQ(::symlink("..", (r + "/sub/up").c_str()), 0);

    // The link to the parent is listed as a link and never entered.
    EXPECT_EQ(pathsOf(sourceListing(r, {"*.*"}, true)), (Paths{r + "/.bashrc", r + "/sub/.hidden-file", r + "/sub/up"}));
}

TEST(SourceListing, RootMayLieInsideADotFolder)
{
    TempDir dir;
    const std::string r = dir / ".config/app";
    writeFile(r + "/settings.ini", "");
    writeFile(r + "/profiles/default.ini", "");
    writeFile(r + "/.state/x.ini", "");

    EXPECT_EQ(folderScan(r, true), (Paths{r, r + "/profiles"}));
    EXPECT_EQ(pathsOf(sourceListing(r, {"*.ini"}, true)), (Paths{r + "/settings.ini", r + "/profiles/default.ini"}));
    std::vector<FoundFile> direct;
    fileScan(r, "*.*", direct);
    EXPECT_EQ(pathsOf(direct), Paths{r + "/settings.ini"});
}

TEST(SourceListing, StampsComeWithTheEntries)
{
    TempDir dir;
    const std::string r = dir.path();
    writeFile(r + "/a.txt", "");
    writeFile(r + "/sub/b.txt", "");
    setMtime(r + "/a.txt", 1700000000);
    setMtime(r + "/sub/b.txt", 1600000000);
    const std::vector<FoundFile> found = sourceListing(r, {"*.txt"}, true);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].stamp, fileStamp(r + "/a.txt"));
    EXPECT_EQ(found[1].stamp, fileStamp(r + "/sub/b.txt"));
    EXPECT_NE(found[0].stamp, found[1].stamp);
}

TEST(SourceListing, MissingFolderGivesNoEntries)
{
    TempDir dir;
    const std::string gone = dir / "gone";
    EXPECT_TRUE(sourceListing(gone, {"*.*"}, true).empty());
    std::vector<FoundFile> none;
    fileScan(gone, "*.*", none);
    EXPECT_TRUE(none.empty());
    // The folder scan still names the folder it was given, and nothing below it.
    EXPECT_EQ(folderScan(gone, true), Paths{gone});

    // A file given as the root is no folder either.
    writeFile(dir / "file.txt", "");
    EXPECT_TRUE(sourceListing(dir / "file.txt", {"*.*"}, true).empty());
}

// A folder whose listing breaks off part-way is unreadable as a whole: none of its files are
// listed (a half listing would make the rest look deleted) and nothing below it is entered.
TEST(SourceListing, AFolderWhoseListingFailsIsToldAndListsNothing)
{
    TempDir dir;
    const std::string r = dir / "root";
    writeFile(r + "/a.txt", "");
    writeFile(r + "/sub/b.txt", "");
    writeFile(r + "/sub/c.txt", "");
    writeFile(r + "/sub/deeper/d.txt", "");
    writeFile(r + "/z/e.txt", "");
    static std::string broken;
    broken = r + "/sub";
    setReadDirectoryFault([](const std::string& folder, size_t entriesRead) {
        return folder == broken && entriesRead >= 1 ? EIO : 0;
    });
    ListingNotes notes;
    const Paths listed = pathsOf(sourceListing(r, {"*.*"}, true, &notes));
    setReadDirectoryFault(nullptr);

    EXPECT_EQ(listed, (Paths{r + "/a.txt", r + "/z/e.txt"}));
    ASSERT_EQ(notes.unreadable.size(), 1u);
    EXPECT_EQ(notes.unreadable[0].path(), r + "/sub");
    EXPECT_EQ(notes.unreadable[0].error(), EIO);
    // Listed again without the fault, it is all there.
    EXPECT_EQ(sourceListing(r, {"*.*"}, true).size(), 5u);
}

}  // namespace
}  // namespace renvo::test
