// The shell file operation on real trees in a temporary folder: copies, deletes, links that
// must not be followed out of the tree, and the failure the caller gets to show.
#include "platform/FileOperation.h"

#include "common/Privileges.h"
#include "common/TempDir.h"
#include "platform/FileSys.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;
using test::treeOf;

// A small tree with a hidden file, an empty folder and a nested one.
void makeTree(const std::string& root)
{
    writeFile(root + "/a.txt", "alpha");
    writeFile(root + "/.hidden", "h");
    writeFile(root + "/sub/b.txt", "beta");
    writeFile(root + "/sub/deep/c.txt", "gamma");
    fs::create_directories(root + "/empty");
}

TEST(FileOperationCopy, FileToNewNameMakesMissingFolders)
{
    TempDir tmp;
    const std::string src = writeFile(tmp / "src.txt", "content");
    ::chmod(src.c_str(), 0640);
    TFileOperation op;
    const Status r = op.CopyFiles(src, tmp / "restore/deep/name.txt");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(tmp / "restore/deep/name.txt"), "content");
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "restore/deep/name.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(readFile(src), "content");
}

TEST(FileOperationCopy, FileIntoExistingFolderAndOverAnExistingFile)
{
    TempDir tmp;
    const std::string src = writeFile(tmp / "src.txt", "new content");
    fs::create_directories(tmp / "dest");
    TFileOperation op;
    EXPECT_TRUE(op.CopyFiles(src, tmp / "dest").ok());
    EXPECT_EQ(readFile(tmp / "dest/src.txt"), "new content");

    const std::string old = writeFile(tmp / "dest/old.txt", "old and longer content");
    const Status r = op.CopyFiles(src, old);
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(old), "new content");
    EXPECT_TRUE(temporariesBeside({old}).empty());
}

TEST(FileOperationCopy, FolderTreeToNewNameAndIntoExistingFolder)
{
    TempDir tmp;
    makeTree(tmp / "tree");
    const auto expected = treeOf(tmp / "tree");
    TFileOperation op;

    Status r = op.CopyFiles(tmp / "tree", tmp / "copy");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(treeOf(tmp / "copy"), expected);

    fs::create_directories(tmp / "into");
    r = op.CopyFiles(tmp / "tree/", tmp / "into");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(treeOf(tmp / "into/tree"), expected);
}

TEST(FileOperationCopy, MergesIntoAnExistingTree)
{
    TempDir tmp;
    makeTree(tmp / "tree");
    writeFile(tmp / "dest/tree/sub/b.txt", "stale");
    writeFile(tmp / "dest/tree/sub/extra.txt", "kept");
    TFileOperation op;
    const Status r = op.CopyFiles(tmp / "tree", tmp / "dest");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(tmp / "dest/tree/sub/b.txt"), "beta");
    EXPECT_EQ(readFile(tmp / "dest/tree/sub/extra.txt"), "kept");
    EXPECT_EQ(readFile(tmp / "dest/tree/sub/deep/c.txt"), "gamma");
    EXPECT_FALSE(pathExists(tmp / "dest/sub"));
}

TEST(FileOperationCopy, ReadOnlyFolderIsCopiedWithItsContentAndMode)
{
    TempDir tmp;
    writeFile(tmp / "tree/locked/f.txt", "inside");
    ::chmod((tmp / "tree/locked").c_str(), 0555);
    test::WithoutDacOverride guard;
    TFileOperation op;
    const Status r = op.CopyFiles(tmp / "tree", tmp / "copy");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(tmp / "copy/locked/f.txt"), "inside");
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "copy/locked").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0555u);
}

TEST(FileOperationCopy, LinksAreCopiedAsLinksNeverFollowed)
{
    TempDir tmp;
    writeFile(tmp / "outside/secret.txt", "elsewhere");
    writeFile(tmp / "tree/a.txt", "alpha");
    fs::create_directory_symlink(tmp / "outside", tmp / "tree/out");
    fs::create_symlink("a.txt", tmp / "tree/alias");
    TFileOperation op;
    Status r = op.CopyFiles(tmp / "tree", tmp / "copy");
    EXPECT_TRUE(r.ok()) << r.message();
    ASSERT_TRUE(fs::is_symlink(tmp / "copy/out"));
    EXPECT_EQ(fs::read_symlink(tmp / "copy/out"), fs::path(tmp / "outside"));
    ASSERT_TRUE(fs::is_symlink(tmp / "copy/alias"));
    EXPECT_EQ(fs::read_symlink(tmp / "copy/alias"), fs::path("a.txt"));

    // The named path itself a link, also spelled with a trailing delimiter.
    r = op.CopyFiles(tmp / "tree/out/", tmp / "linkcopy");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_TRUE(fs::is_symlink(tmp / "linkcopy"));
    EXPECT_EQ((treeOf(tmp / "outside")), (std::map<std::string, std::string>{{"secret.txt", "elsewhere"}}));
}

TEST(FileOperationCopy, TreeIntoItselfIsRefused)
{
    TempDir tmp;
    makeTree(tmp / "tree");
    const auto before = treeOf(tmp / "tree");
    TFileOperation op;
    Status r = op.CopyFiles(tmp / "tree", tmp / "tree/sub");
    EXPECT_EQ(r.error(), EINVAL);
    r = op.CopyFiles(tmp / "tree", tmp / "tree/new/name");  // no folder is made for it
    EXPECT_EQ(r.error(), EINVAL);
    r = op.CopyFiles(tmp / "tree", tmp.path());  // onto itself
    EXPECT_EQ(r.error(), EINVAL);
    EXPECT_EQ(treeOf(tmp / "tree"), before);
}

TEST(FileOperationCopyBelow, MakesRealFoldersBelowTheBaseAndReplacesAFile)
{
    TempDir tmp;
    const std::string src = writeFile(tmp / "src.txt", "new");
    fs::create_directories(tmp / "real");
    fs::create_directory_symlink(tmp / "real", tmp / "chosen");  // the base may be a link
    TFileOperation op;
    Status r = op.CopyFilesBelow(src, tmp / "chosen", tmp / "chosen/a/b/f.txt");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(tmp / "real/a/b/f.txt"), "new");
    EXPECT_FALSE(fs::is_symlink(tmp / "real/a"));
    writeFile(tmp / "real/a/b/f.txt", "old");
    r = op.CopyFilesBelow(src, tmp / "chosen/", tmp / "chosen/a/b/f.txt");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(tmp / "real/a/b/f.txt"), "new");
    // A missing base is made.
    r = op.CopyFilesBelow(src, tmp / "new/base", tmp / "new/base/f.txt");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(tmp / "new/base/f.txt"), "new");
    // The root as the base: every part of the path is looked at, none is a link here.
    const std::string canonical = fs::canonical(tmp.path()).string();
    r = op.CopyFilesBelow(src, "/", canonical + "/rooted/f.txt");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(canonical + "/rooted/f.txt"), "new");
}

TEST(FileOperationCopyBelow, ALinkOrAFileOnTheWayStopsTheCopyBeforeAnythingIsWritten)
{
    struct Case {
        const char* what;
        std::string made;  // below the base: "l:<target below outside>", "f" a file, "d" a folder
        std::string at;
        std::string to;    // below the base
        int error;
        std::string failedAt;  // below the base
    };
    const std::vector<Case> cases = {
        {"a link to a folder on the way", "l:", "sub", "sub/f.txt", kLinkInTheWay, "sub"},
        {"a dangling link on the way", "l:gone", "sub", "sub/deeper/f.txt", kLinkInTheWay, "sub"},
        {"a link below a real folder", "l:", "a/b", "a/b/c/f.txt", kLinkInTheWay, "a/b"},
        {"a link to a file in the file's place", "l:kept.txt", "f.txt", "f.txt", kLinkInTheWay, "f.txt"},
        {"a link to a folder in the file's place", "l:", "f.txt", "f.txt", kLinkInTheWay, "f.txt"},
        {"a dangling link in the file's place", "l:new.txt", "f.txt", "f.txt", kLinkInTheWay, "f.txt"},
        {"a file on the way", "f", "sub", "sub/f.txt", ENOTDIR, "sub"},
        {"a folder in the file's place", "d", "f.txt", "f.txt", EISDIR, "f.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        const std::string src = writeFile(tmp / "src.txt", "restored");
        const std::string base = tmp / "base";
        writeFile(tmp / "outside/kept.txt", "kept");
        const std::string at = base + "/" + c.at;
        fs::create_directories(fs::path(at).parent_path());
        if (c.made.starts_with("l:"))
            fs::create_symlink(c.made == "l:" ? tmp / "outside" : tmp / "outside/" + c.made.substr(2), at);
        else if (c.made == "f")
            writeFile(at, "a file");
        else
            fs::create_directories(at + "/inner");
        const auto outside = treeOf(tmp / "outside");
        const auto below = treeOf(base);
        TFileOperation op;
        const Status r = op.CopyFilesBelow(src, base, base + "/" + c.to);
        EXPECT_EQ(r.error(), c.error) << r.message();
        EXPECT_EQ(r.path(), base + "/" + c.failedAt);
        EXPECT_EQ(treeOf(tmp / "outside"), outside);
        EXPECT_EQ(treeOf(base), below);
    }
    const Status r{kLinkInTheWay, "/x/sub"};
    EXPECT_EQ(r.message(), "/x/sub: " + errorText(kLinkInTheWay));
}

TEST(FileOperationCopyBelow, ATargetOutsideTheBaseIsNotTaken)
{
    TempDir tmp;
    const std::string src = writeFile(tmp / "src.txt", "x");
    TFileOperation op;
    for (const std::string& to : {tmp / "basement/f.txt", tmp / "base", tmp / "other/f.txt", tmp / "base/../f.txt"})
        EXPECT_EQ(op.CopyFilesBelow(src, tmp / "base", to).error(), EINVAL) << to;
    EXPECT_EQ(op.CopyFilesBelow(tmp / "missing/../src.txt", tmp / "base", tmp / "base/f.txt").error(), EINVAL);
    EXPECT_EQ(op.CopyFilesBelow(src, "base", "base/f.txt").error(), EINVAL);
    EXPECT_EQ(treeOf(tmp.path()), (std::map<std::string, std::string>{{"src.txt", "x"}}));
}

TEST(FileOperationDelete, FileAndWholeFolder)
{
    TempDir tmp;
    const std::string file = writeFile(tmp / "one.txt", "x");
    makeTree(tmp / "tree");
    writeFile(tmp / "tree/sub/ro.txt", "read-only");
    ::chmod((tmp / "tree/sub/ro.txt").c_str(), 0444);
    TFileOperation op;
    EXPECT_TRUE(op.DeleteFiles(file).ok());
    EXPECT_FALSE(pathExists(file));
    const Status r = op.DeleteFiles(tmp / "tree");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_FALSE(pathExists(tmp / "tree"));
    EXPECT_TRUE(directoryExists(tmp.path()));
}

TEST(FileOperationDelete, LinksGoTheirTargetsStay)
{
    TempDir tmp;
    writeFile(tmp / "outside/secret.txt", "elsewhere");
    writeFile(tmp / "tree/a.txt", "alpha");
    fs::create_directory_symlink(tmp / "outside", tmp / "tree/out");
    fs::create_directory_symlink(tmp / "outside", tmp / "toplink");
    TFileOperation op;
    Status r = op.DeleteFiles(tmp / "tree");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_FALSE(pathExists(tmp / "tree"));
    // A trailing delimiter would make the system follow the link: the link still goes alone.
    r = op.DeleteFiles(tmp / "toplink/");
    EXPECT_TRUE(r.ok()) << r.message();
    EXPECT_FALSE(pathExists(tmp / "toplink"));
    EXPECT_EQ(readFile(tmp / "outside/secret.txt"), "elsewhere");
}

TEST(FileOperationFailure, MissingSourceNamesThePath)
{
    TempDir tmp;
    TFileOperation op;
    Status r = op.CopyFiles(tmp / "missing", tmp / "dest");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error(), ENOENT);
    EXPECT_EQ(r.path(), tmp / "missing");
    EXPECT_EQ(r.message(), tmp / "missing: " + errorText(ENOENT));
    EXPECT_FALSE(pathExists(tmp / "dest"));

    r = op.DeleteFiles(tmp / "missing");
    EXPECT_EQ(r.error(), ENOENT);
    EXPECT_EQ(r.path(), tmp / "missing");
}

TEST(FileOperationFailure, UnwritableTargetFolder)
{
    TempDir tmp;
    makeTree(tmp / "tree");
    const std::string file = writeFile(tmp / "f.txt", "x");
    fs::create_directories(tmp / "locked");
    ::chmod((tmp / "locked").c_str(), 0555);
    test::WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "permissions do not bind for this user";
    TFileOperation op;
    Status r = op.CopyFiles(file, tmp / "locked");
    EXPECT_EQ(r.error(), EACCES);
    EXPECT_EQ(r.path(), tmp / "locked/f.txt");
    r = op.CopyFiles(tmp / "tree", tmp / "locked/tree");
    EXPECT_EQ(r.error(), EACCES);
    EXPECT_EQ(r.path(), tmp / "locked/tree");
    EXPECT_TRUE(fs::is_empty(tmp / "locked"));
}

TEST(FileOperationFailure, DeleteGoesOnAfterTheFirstFailure)
{
    TempDir tmp;
    writeFile(tmp / "tree/a/locked/kept.txt", "x");
    writeFile(tmp / "tree/b.txt", "y");
    writeFile(tmp / "tree/c/d.txt", "z");
    ::chmod((tmp / "tree/a/locked").c_str(), 0555);
    test::WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "permissions do not bind for this user";
    TFileOperation op;
    const Status r = op.DeleteFiles(tmp / "tree");
    EXPECT_EQ(r.error(), EACCES);
    EXPECT_EQ(r.path(), tmp / "tree/a/locked/kept.txt");
    EXPECT_EQ(treeOf(tmp / "tree"), (std::map<std::string, std::string>{
                                         {"a", "d"}, {"a/locked", "d"}, {"a/locked/kept.txt", "x"}}));
}

TEST(FileOperationFailure, PathsThatAreNotTakenTouchNothing)
{
    TempDir tmp;
    const std::string file = writeFile(tmp / "keep/f.txt", "x");
    TFileOperation op;
    for (const std::string& bad : {tmp / "keep/../keep", tmp / "keep/./f.txt", std::string("keep/f.txt"),
                                   std::string("/"), std::string(), file + std::string(1, '\0') + "x"}) {
        EXPECT_EQ(op.DeleteFiles(bad).error(), EINVAL) << bad;
        EXPECT_EQ(op.CopyFiles(bad, tmp / "dest").error(), EINVAL) << bad;
        EXPECT_EQ(op.CopyFiles(file, bad).error(), EINVAL) << bad;
    }
    EXPECT_EQ(readFile(file), "x");
    EXPECT_FALSE(pathExists(tmp / "dest"));
}

}  // namespace
}  // namespace renvo
