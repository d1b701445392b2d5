#include "platform/FileSys.h"

#include "platform/DirectoryFault.h"
#include "platform/RemoveTree.h"

#include "common/Privileges.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace renvo::test {
namespace {

std::vector<std::string> names(const std::vector<DirEntry>& entries)
{
    std::vector<std::string> out;
    for (const DirEntry& e : entries)
        out.push_back(e.name);
    return out;
}

const DirEntry* find(const std::vector<DirEntry>& entries, const std::string& name)
{
    for (const DirEntry& e : entries)
        if (e.name == name)
            return &e;
    return nullptr;
}

// Makes readdir fail in one folder once some of its entries are listed.
class ReaddirFault {
public:
    ReaddirFault(std::string dir, size_t after, int err)
    {
        state() = {std::move(dir), after, err, {}};
        setReadDirectoryFault(&fail);
    }
    ~ReaddirFault() { setReadDirectoryFault(nullptr); }
    ReaddirFault(const ReaddirFault&) = delete;
    ReaddirFault& operator=(const ReaddirFault&) = delete;
    // The counts the hook was asked with in the folder, in order.
    static const std::vector<size_t>& asked() { return state().asked; }

private:
    struct State {
        std::string dir;
        size_t after = 0;
        int err = 0;
        std::vector<size_t> asked;
    };
    static State& state()
    {
        static State s;
        return s;
    }
    static int fail(const std::string& dir, size_t entriesRead)
    {
        State& s = state();
        if (dir != s.dir)
            return 0;
        s.asked.push_back(entriesRead);
        return entriesRead >= s.after ? s.err : 0;
    }
};

TEST(ReadDirectory, NameOrderByUnsignedBytes)
{
    TempDir dir;
    for (const char* n : {"b", "\xC3\xA9", "a", "_x", "C", "a0"})
        writeFile(dir / n, "");
    std::filesystem::create_directory(dir / "B");
    const std::vector<std::string> expected{"B", "C", "_x", "a", "a0", "b", "\xC3\xA9"};
    EXPECT_EQ(names(readDirectory(dir.path(), false)), expected);
    EXPECT_EQ(names(readDirectory(dir.path(), true)), expected);
}

TEST(ReadDirectory, AttributesOfPlainEntries)
{
    TempDir dir;
    writeFile(dir / "plain", "1");
    writeFile(dir / ".hidden", "1");
    writeFile(dir / "ro", "1");
    ::chmod((dir / "ro").c_str(), 0444);
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory(dir / ".cache");

    for (bool withStamps : {false, true}) {
        SCOPED_TRACE(withStamps ? "with stamps" : "without stamps");
        const auto entries = readDirectory(dir.path(), withStamps);
        ASSERT_EQ(entries.size(), 5u);
        EXPECT_EQ(find(entries, "plain")->attr, uint32_t(faArchive));
        EXPECT_EQ(find(entries, ".hidden")->attr, uint32_t(faArchive | faHidden));
        EXPECT_EQ(find(entries, "sub")->attr, uint32_t(faDirectory));
        EXPECT_EQ(find(entries, ".cache")->attr, uint32_t(faDirectory | faHidden));
        EXPECT_EQ(find(entries, "sub")->stamp, -1);
    }
    // The read-only bit and the stamps need the extra stat.
    const auto entries = readDirectory(dir.path(), true);
    EXPECT_EQ(find(entries, "ro")->attr, uint32_t(faArchive | faReadOnly));
    EXPECT_EQ(find(entries, "plain")->stamp, fileStamp(dir / "plain"));
    EXPECT_NE(find(entries, "plain")->stamp, -1);
}

TEST(ReadDirectory, SymbolicLinks)
{
    TempDir dir;
    writeFile(dir / "target/f.txt", "x");
    setMtime(dir / "target/f.txt", 1767603906);
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "toFolder").c_str()), 0);
    ASSERT_EQ(::symlink("target/f.txt", (dir / "toFile").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink(".", (dir / "target/self").c_str()), 0);
    // The links' own times, apart from their targets'.
    const timespec own[2] = {{1700000000, 0}, {1700000000, 0}};
    for (const char* link : {"toFolder", "toFile", "dangling"})
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / link).c_str(), own, AT_SYMLINK_NOFOLLOW), 0);

    // Every link is an entry of its own, never its target: no directory bit, its own stamp.
    for (bool withStamps : {false, true}) {
        SCOPED_TRACE(withStamps ? "with stamps" : "without stamps");
        const auto entries = readDirectory(dir.path(), withStamps);
        ASSERT_EQ(entries.size(), 4u);
        for (const char* link : {"toFolder", "toFile", "dangling"}) {
            const DirEntry* e = find(entries, link);
            EXPECT_EQ(e->attr, uint32_t(faArchive | faReparsePoint)) << link;
            EXPECT_EQ(e->stamp, withStamps ? dosStampFromUnix(1700000000) : -1) << link;
        }
    }
    EXPECT_NE(fileStamp(dir / "toFile"), fileStamp(dir / "target/f.txt")) << "a link's stamp is its own";
    EXPECT_EQ(find(readDirectory(dir / "target", false), "self")->attr, uint32_t(faArchive | faReparsePoint));

    // Pipes, sockets and devices are named as such, with or without stamps.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    for (bool withStamps : {false, true})
        EXPECT_EQ(find(readDirectory(dir.path(), withStamps), "pipe")->attr, uint32_t(faDevice));
    EXPECT_TRUE(isSpecialPath(dir / "pipe"));
    EXPECT_TRUE(isSpecialPath("/dev/null"));
    EXPECT_FALSE(isSpecialPath(dir / "dangling"));
    EXPECT_FALSE(isSpecialPath(dir / "target"));
}

TEST(ReadDirectory, MissingOrNoFolderGivesNothing)
{
    TempDir dir;
    writeFile(dir / "file", "x");
    EXPECT_TRUE(readDirectory(dir / "missing", true).empty());
    EXPECT_TRUE(readDirectory(dir / "file", false).empty());
    EXPECT_TRUE(readDirectory(dir.path(), false).size() == 1);
}

TEST(ReadDirectory, UnreadableFolderGivesNothingAndSaysWhy)
{
    TempDir dir;
    writeFile(dir / "locked/f.txt", "x");
    ::chmod((dir / "locked").c_str(), 0);
    WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "file modes do not bind this process";
    std::vector<DirEntry> out{DirEntry{}};
    const Status read = readDirectoryInto(dir / "locked", true, out);
    EXPECT_EQ(read.error(), EACCES);
    EXPECT_EQ(read.path(), dir / "locked");
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(readDirectory(dir / "locked", false).empty());
    EXPECT_EQ(readDirectoryInto(dir.path(), false, out).error(), 0);
    EXPECT_EQ(readDirectoryInto(dir / "missing", false, out).error(), ENOENT);
}

TEST(ReadDirectory, AReaddirErrorPartWayGivesNothingAndSaysWhy)
{
    TempDir dir;
    for (const char* n : {"a", "b", "c", "d", "e"})
        writeFile(dir / n, "");
    writeFile(dir / "other/f", "");
    for (bool withStamps : {false, true}) {
        SCOPED_TRACE(withStamps ? "with stamps" : "without stamps");
        {
            ReaddirFault fault(dir.path(), 2, EIO);
            std::vector<DirEntry> out;
            EXPECT_EQ(readDirectoryInto(dir.path(), withStamps, out).error(), EIO);
            EXPECT_TRUE(out.empty());
            // Asked before every readdir ("." and ".." are not counted), the last time with 2.
            const std::vector<size_t>& asked = ReaddirFault::asked();
            EXPECT_TRUE(std::is_sorted(asked.begin(), asked.end()));
            ASSERT_FALSE(asked.empty());
            EXPECT_EQ(asked.back(), 2u);
            EXPECT_GE(asked.size(), 3u);
            // Other folders are listed as ever.
            EXPECT_EQ(readDirectoryInto(dir / "other", withStamps, out).error(), 0);
            EXPECT_EQ(out.size(), 1u);
        }
        {
            // Failing only at the end, after every entry was read, still loses them all.
            ReaddirFault fault(dir.path(), 6, EOVERFLOW);
            std::vector<DirEntry> out;
            EXPECT_EQ(readDirectoryInto(dir.path(), withStamps, out).error(), EOVERFLOW);
            EXPECT_TRUE(out.empty());
            EXPECT_EQ(ReaddirFault::asked().back(), 6u);
        }
        std::vector<DirEntry> out;
        EXPECT_EQ(readDirectoryInto(dir.path(), withStamps, out).error(), 0);
        EXPECT_EQ(out.size(), 6u);
    }
}

TEST(FileQueries, ExistenceFollowsLinksExceptPathExists)
{
    TempDir dir;
    writeFile(dir / "f", "x");
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), (dir / "toDir").c_str()), 0);
    EXPECT_TRUE(fileExists(dir / "f"));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(dir / "dangling"));
    EXPECT_TRUE(pathExists(dir / "dangling"));
    EXPECT_TRUE(directoryExists(dir / "toDir"));
    EXPECT_FALSE(directoryExists(dir / "f"));

    EXPECT_EQ(forceDirectories(dir / "a/b/c").error(), 0);
    EXPECT_TRUE(directoryExists(dir / "a/b/c"));
    EXPECT_EQ(forceDirectories(dir / "a/b/c").error(), 0);
    EXPECT_EQ(forceDirectories(dir / "f/sub").error(), ENOTDIR);
    EXPECT_EQ(forceDirectories(dir / "f").error(), ENOTDIR);
    EXPECT_EQ(forceDirectories("").error(), ENOENT);
}

TEST(ForceDirectories, NewFoldersGetTheModeAskedFor)
{
    TempDir dir;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(dir.path().c_str(), 0751);
    ASSERT_EQ(forceDirectories(dir / "private/Tovan", 0700).error(), 0);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "private").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u & ~mask);
    ASSERT_EQ(::stat((dir / "private/Tovan").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u & ~mask);
    ASSERT_EQ(::stat(dir.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);  // folders that were there stay as they were

    ASSERT_EQ(forceDirectories(dir / "shared/sub").error(), 0);
    ASSERT_EQ(::stat((dir / "shared/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0777u & ~mask);

    // A part that may not be searched is told as such.
    std::filesystem::create_directory(dir / "closed");
    ::chmod((dir / "closed").c_str(), 0);
    WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "file modes do not bind this process";
    EXPECT_EQ(forceDirectories(dir / "closed/a/b").error(), EACCES);
}

// Removals asked for while one runs, and again after a join (a thread of its own each time),
// are all done by the join; a link given or met is removed, never followed.
TEST(BackgroundRemoval, EveryRemovalAskedForIsDoneByTheJoin)
{
    TempDir dir;
    namespace fs = std::filesystem;
    const std::string keep = writeFile(dir / "outside/keep.txt", "keep");
    BackgroundRemoval removal;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> folders;
        for (int i = 0; i < 4; ++i) {
            const std::string folder = dir / ("r" + std::to_string(round) + "-" + std::to_string(i));
            for (int f = 0; f < 50; ++f)
                writeFile(folder + "/sub" + std::to_string(f % 5) + "/.f" + std::to_string(f), "x");
            fs::create_directory_symlink(dir / "outside", folder + "/link");
            folders.push_back(folder);
        }
        fs::create_directory_symlink(dir / "outside", dir / "given-link");
        folders.push_back(dir / "given-link");
        for (const std::string& f : folders)
            removal.remove(f);
        removal.join();
        for (const std::string& f : folders)
            EXPECT_FALSE(fs::exists(fs::symlink_status(f))) << f;
        EXPECT_EQ(readFile(keep), "keep");
    }
}

}  // namespace
}  // namespace renvo::test
