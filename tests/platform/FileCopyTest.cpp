#include "platform/FileSys.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace renvo::test {
namespace {

std::vector<std::string> listFolder(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

struct stat statOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(CopyFileReplacing, CarriesContentTimeAndModeOver)
{
    TempDir dir;
    const std::string src = writeFile(dir / "src/a.txt", std::string(300000, 'q') + "end");
    ::chmod(src.c_str(), 0640);
    setMtime(src, 1767603906);
    const struct stat before = statOf(src);
    std::filesystem::create_directory(dir / "dst");

    ASSERT_EQ(copyFileReplacing(src, dir / "dst/a.txt").error(), 0);
    EXPECT_EQ(readFile(dir / "dst/a.txt"), readFile(src));
    const struct stat copy = statOf(dir / "dst/a.txt");
    EXPECT_EQ(copy.st_mode & 07777, 0640u);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1767603906);
    EXPECT_EQ(fileStamp(dir / "dst/a.txt"), fileStamp(src));
    EXPECT_EQ(listFolder(dir / "dst"), std::vector<std::string>{"a.txt"});

    // The source is left exactly as it was.
    const struct stat after = statOf(src);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

TEST(CopyFileReplacing, OverwritesAReadOnlyCopy)
{
    TempDir dir;
    const std::string src = writeFile(dir / "a.txt", "new");
    ::chmod(src.c_str(), 0444);
    const std::string dst = writeFile(dir / "copy/a.txt", "old and longer");
    ::chmod(dst.c_str(), 0444);
    ASSERT_EQ(copyFileReplacing(src, dst).error(), 0);
    EXPECT_EQ(readFile(dst), "new");
    EXPECT_EQ(statOf(dst).st_mode & 07777, 0444u);
    // Once more over the copy that is now read-only too.
    writeFile(dir / "b.txt", "newer");
    ASSERT_EQ(copyFileReplacing(dir / "b.txt", dst).error(), 0);
    EXPECT_EQ(readFile(dst), "newer");
}

TEST(CopyFileReplacing, EmptyFilesCopyAndLinksCopyAsLinks)
{
    TempDir dir;
    writeFile(dir / "empty", "");
    ASSERT_EQ(copyFileReplacing(dir / "empty", dir / "empty.copy").error(), 0);
    EXPECT_TRUE(fileExists(dir / "empty.copy"));
    EXPECT_EQ(readFile(dir / "empty.copy"), "");

    // The link itself: its target text and its own modification time, never what it points to.
    writeFile(dir / "real", "content");
    const timespec own[2] = {{1700000000, 5}, {1600000000, 7}};
    for (const char* target : {"real", "nowhere/at all", "/"}) {
        SCOPED_TRACE(target);
        ::unlink((dir / "link").c_str());
        ASSERT_EQ(::symlink(target, (dir / "link").c_str()), 0);
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "link").c_str(), own, AT_SYMLINK_NOFOLLOW), 0);
        ASSERT_EQ(copyFileReplacing(dir / "link", dir / "out/link.copy").error(), ENOENT) << "the folder must exist";
        ASSERT_EQ(copyFileReplacing(dir / "link", dir / "link.copy").error(), 0);
        struct stat st {};
        ASSERT_EQ(::lstat((dir / "link.copy").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
        EXPECT_EQ(std::filesystem::read_symlink(dir / "link.copy").string(), target);
        EXPECT_EQ(fileStamp(dir / "link.copy"), fileStamp(dir / "link"));
    }
    EXPECT_EQ(readFile(dir / "real"), "content");

    // A file over a link replaces the link, not what it points to; and the other way round.
    ASSERT_EQ(copyFileReplacing(dir / "real", dir / "link.copy").error(), 0);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "link.copy").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    ASSERT_EQ(copyFileReplacing(dir / "link", dir / "empty.copy").error(), 0);
    ASSERT_EQ(::lstat((dir / "empty.copy").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"empty", "empty.copy", "link", "link.copy", "real"}))
        << "no temporary is left";
}

namespace {
std::string changingSource;
void appendDuringCopy(const std::string& src)
{
    if (src == changingSource) {
        std::FILE* f = std::fopen(src.c_str(), "ab");
        std::fputs(" and more", f);
        std::fclose(f);
        setMtime(src, 1600000000);  // within the same stamp: only the size tells
    }
}
}  // namespace

TEST(CopyFileReplacing, SourceThatChangesWhileCopiedIsAFailureAndTheOldCopyStays)
{
    TempDir dir;
    changingSource = writeFile(dir / "growing.log", "first lines");
    setMtime(changingSource, 1600000000);
    const std::string copy = writeFile(dir / "copy.log", "old copy");
    setCopyHook(appendDuringCopy);
    const int err = copyFileReplacing(changingSource, copy).error();
    setCopyHook(nullptr);
    EXPECT_EQ(err, kChangedWhileCopying);
    EXPECT_EQ(readFile(copy), "old copy");
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"copy.log", "growing.log"})) << "no temporary is left";

    // Left alone, it copies.
    ASSERT_EQ(copyFileReplacing(changingSource, copy).error(), 0);
    EXPECT_EQ(readFile(copy), "first lines and more");
}

TEST(CopyFileReplacing, LongestNamesCopy)
{
    TempDir dir;
    // 255 bytes is the longest name Linux allows; the temporary name must still fit.
    const std::string name(255, 'n');
    const std::string japanese = [] {
        std::string s;
        for (int i = 0; i < 84; ++i)
            s += "\xE8\xA1\xA8";  // 表 in UTF-8, 3 bytes
        return s + ".t";
    }();
    for (const std::string& n : {name, japanese}) {
        const std::string src = writeFile(dir / ("src/" + n), "long");
        EXPECT_EQ(copyFileReplacing(src, dir / n).error(), 0);
        EXPECT_EQ(readFile(dir / n), "long");
        EXPECT_EQ(writeFileAtomic(dir / ("src/" + n), "atomic").error(), 0);
        EXPECT_EQ(readFile(dir / ("src/" + n)), "atomic");
    }
    EXPECT_EQ(listFolder(dir / "src"), (std::vector<std::string>{name, japanese}));
}

TEST(CopyFileReplacing, FailureKeepsTheOldCopyWhole)
{
    TempDir dir;
    const std::string dst = writeFile(dir / "copy/a.txt", "old");
    setMtime(dst, 1700000000);

    EXPECT_EQ(copyFileReplacing(dir / "missing.txt", dst).error(), ENOENT);
    EXPECT_EQ(readFile(dst), "old");
    EXPECT_EQ(statOf(dst).st_mtim.tv_sec, 1700000000);

    EXPECT_EQ(copyFileReplacing(dir.path(), dst).error(), EISDIR);
    EXPECT_EQ(readFile(dst), "old");
    EXPECT_EQ(listFolder(dir / "copy"), std::vector<std::string>{"a.txt"});

    // The rename fails after the temporary copy was made: it must not stay behind.
    writeFile(dir / "src.txt", "new");
    writeFile(dir / "copy/taken/inside", "x");
    EXPECT_NE(copyFileReplacing(dir / "src.txt", dir / "copy/taken").error(), 0);
    EXPECT_EQ(listFolder(dir / "copy"), (std::vector<std::string>{"a.txt", "taken"}));
    EXPECT_EQ(readFile(dir / "copy/taken/inside"), "x");
}

TEST(CopyFileReplacing, SpecialFilesAreRefusedNotWaitedFor)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    const std::string dst = writeFile(dir / "copy/pipe", "old");
    ::alarm(120);  // a blocking open of the pipe would hang the run: end loudly instead
    const int err = copyFileReplacing(dir / "pipe", dst).error();
    ::alarm(0);
    EXPECT_NE(err, 0);
    EXPECT_FALSE(errorText(err).empty());
    EXPECT_EQ(readFile(dst), "old");
    EXPECT_EQ(listFolder(dir / "copy"), std::vector<std::string>{"pipe"});
}

TEST(CopyFileReplacing, MissingDestinationFolderIsAnError)
{
    TempDir dir;
    writeFile(dir / "a.txt", "x");
    EXPECT_EQ(copyFileReplacing(dir / "a.txt", dir / "no/such/a.txt").error(), ENOENT);
    EXPECT_FALSE(pathExists(dir / "no"));
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"a.txt"});
}

// A session keeps the last folders open: copies must still land where their paths say, and
// a new copy appears only whole, under its name, with nothing else beside it.
TEST(CopySession, NewAndReplacedCopiesAcrossFoldersLeaveNothingElse)
{
    TempDir dir;
    CopySession session;
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        const std::string sub = i % 2 ? "b" : "a";  // folders taken in turns
        const std::string src = writeFile(dir / ("src/" + sub + "/f" + std::to_string(i)), "v" + std::to_string(i));
        ::chmod(src.c_str(), i == 3 ? 0640 : 0604);
        setMtime(src, 1600000000 + i * 2);
        std::filesystem::create_directories(dir / ("copy/" + sub));
        ASSERT_EQ(session.copy(src, dir / ("copy/" + sub + "/f" + std::to_string(i))).error(), 0) << i;
    }
    EXPECT_EQ(listFolder(dir / "copy/a"), (std::vector<std::string>{"f0", "f2", "f4"}));
    EXPECT_EQ(listFolder(dir / "copy/b"), (std::vector<std::string>{"f1", "f3", "f5"}));
    const struct stat three = statOf(dir / "copy/b/f3");
    EXPECT_EQ(three.st_mode & 07777, 0640u);
    EXPECT_EQ(three.st_mtim.tv_sec, 1600000006);
    EXPECT_EQ(three.st_nlink, 1u) << "linked in once";
    EXPECT_EQ(readFile(dir / "copy/b/f3"), "v3");

    // Over an existing copy: replaced whole, and the old one was never torn.
    writeFile(dir / "src/b/f3", "newer");
    EXPECT_EQ(session.copy(dir / "src/b/f3", dir / "copy/b/f3").error(), 0);
    EXPECT_EQ(readFile(dir / "copy/b/f3"), "newer");
    EXPECT_NE(statOf(dir / "copy/b/f3").st_ino, three.st_ino);
    EXPECT_EQ(listFolder(dir / "copy/b"), (std::vector<std::string>{"f1", "f3", "f5"}));

    // A source that changes while copied: no new file appears at all.
    changingSource = writeFile(dir / "src/a/grows", "first lines");
    setCopyHook(appendDuringCopy);
    EXPECT_EQ(session.copy(changingSource, dir / "copy/a/grows").error(), kChangedWhileCopying);
    setCopyHook(nullptr);
    EXPECT_EQ(listFolder(dir / "copy/a"), (std::vector<std::string>{"f0", "f2", "f4"}));
}

TEST(CopySession, AFolderRemovedUnderTheSessionIsAnErrorNotAnotherPlace)
{
    TempDir dir;
    CopySession session;
    const std::string src = writeFile(dir / "src/a.txt", "a");
    std::filesystem::create_directories(dir / "copy");
    ASSERT_EQ(session.copy(src, dir / "copy/a.txt").error(), 0);

    std::filesystem::rename(dir / "copy", dir / "moved");
    std::filesystem::create_directories(dir / "copy");
    // The open folder is the one moved: the copy goes nowhere else than the old folder
    // (or fails); after forget() the path is resolved afresh.
    writeFile(dir / "src/b.txt", "b");
    const int err = session.copy(dir / "src/b.txt", dir / "copy/b.txt").error();
    EXPECT_TRUE(listFolder(dir / "copy").empty());
    if (err == 0) {
        EXPECT_EQ(readFile(dir / "moved/b.txt"), "b");
    }
    session.forget();
    EXPECT_EQ(session.copy(dir / "src/b.txt", dir / "copy/b.txt").error(), 0);
    EXPECT_EQ(readFile(dir / "copy/b.txt"), "b");

    std::filesystem::remove_all(dir / "copy");
    EXPECT_EQ(session.copy(src, dir / "copy/a.txt").error(), ENOENT) << "a removed folder takes no file";
    EXPECT_FALSE(pathExists(dir / "copy"));
}

TEST(WriteFileAtomic, WritesAndReplacesKeepingTheMode)
{
    TempDir dir;
    const std::string p = dir / "list";
    ASSERT_EQ(writeFileAtomic(p, std::string("a\0b", 3)).error(), 0);
    EXPECT_EQ(readFile(p), std::string("a\0b", 3));
    ::chmod(p.c_str(), 0600);
    ASSERT_EQ(writeFileAtomic(p, "second").error(), 0);
    EXPECT_EQ(readFile(p), "second");
    EXPECT_EQ(statOf(p).st_mode & 07777, 0600u);
    ASSERT_EQ(writeFileAtomic(p, "").error(), 0);
    EXPECT_EQ(readFile(p), "");
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"list"});

    std::string back;
    ASSERT_EQ(readWholeFile(p, back).error(), 0);
    EXPECT_EQ(back, "");
    EXPECT_EQ(readWholeFile(dir / "missing", back).error(), ENOENT);

    EXPECT_EQ(writeFileAtomic(dir / "no/list", "x").error(), ENOENT);
    EXPECT_NE(writeFileAtomic(dir.path(), "x").error(), 0);  // a folder is not replaced by a file
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"list"});
}

TEST(WriteFileAtomic, ALinkedFileStaysLinked)
{
    TempDir dir;
    // Dotfile managers keep settings files elsewhere and link them in.
    writeFile(dir / "dotfiles/_update", "old");
    ASSERT_EQ(::symlink("dotfiles/_update", (dir / "_update").c_str()), 0);
    ASSERT_EQ(writeFileAtomic(dir / "_update", "new").error(), 0);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "_update").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(dir / "dotfiles/_update"), "new");
    EXPECT_EQ(listFolder(dir / "dotfiles"), std::vector<std::string>{"_update"});
}

TEST(WriteFileAtomic, ADanglingLinkGetsItsTarget)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "dotfiles");
    std::filesystem::create_directories(dir / "home");
    // Two hops, each relative to its own folder: home/_update -> ../dotfiles/link -> _update.
    ASSERT_EQ(::symlink("../dotfiles/link", (dir / "home/_update").c_str()), 0);
    ASSERT_EQ(::symlink("_update", (dir / "dotfiles/link").c_str()), 0);
    ASSERT_EQ(writeFileAtomic(dir / "home/_update", "first", nullptr, 0600).error(), 0);
    EXPECT_EQ(readFile(dir / "dotfiles/_update"), "first");
    EXPECT_EQ(statOf(dir / "dotfiles/_update").st_mode & 07777, 0600u);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "home/_update").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat((dir / "dotfiles/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(listFolder(dir / "home"), std::vector<std::string>{"_update"});
}

TEST(FollowLinks, EndsAtTheFileNamedEvenWhenItIsMissing)
{
    TempDir dir;
    writeFile(dir / "real/file", "x");
    EXPECT_EQ(followLinks(dir / "real/file"), dir / "real/file");
    EXPECT_EQ(followLinks(dir / "missing"), dir / "missing");
    ASSERT_EQ(::symlink((dir / "real/file").c_str(), (dir / "abs").c_str()), 0);
    EXPECT_EQ(followLinks(dir / "abs"), dir / "real/file");
    ASSERT_EQ(::symlink("real/file", (dir / "rel").c_str()), 0);
    EXPECT_EQ(readFile(followLinks(dir / "rel")), "x");
    ASSERT_EQ(::symlink("gone/file", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(followLinks(dir / "dangling"), dir / "gone/file");
    // A relative path without a folder part stays relative to the current folder.
    EXPECT_EQ(followLinks("no-such-name-here"), "no-such-name-here");

    // A loop ends after a bounded number of hops, on one of its own links.
    ASSERT_EQ(::symlink("loopB", (dir / "loopA").c_str()), 0);
    ASSERT_EQ(::symlink("loopA", (dir / "loopB").c_str()), 0);
    const std::string end = followLinks(dir / "loopA");
    EXPECT_TRUE(end == dir / "loopA" || end == dir / "loopB") << end;
}

TEST(ReadWholeFile, RegularFilesOnlyWhenAskedAndNeverWaitingOnAFifo)
{
    TempDir dir;
    const ReadLimits regularOnly{.regularOnly = true};
    std::string out = "stale";
    EXPECT_EQ(readWholeFile(dir / "missing", out, regularOnly).error(), ENOENT);
    EXPECT_EQ(out, "");
    writeFile(dir / "file", "content");
    EXPECT_EQ(readWholeFile(dir / "file/below", out).error(), ENOTDIR);
    EXPECT_EQ(readWholeFile(dir / "file", out, regularOnly).error(), 0);
    EXPECT_EQ(out, "content");
    EXPECT_EQ(readWholeFile(dir.path(), out).error(), EISDIR);
    EXPECT_EQ(readWholeFile(dir.path(), out, regularOnly).error(), EISDIR);

    // No writer ever comes: refused at once instead of waiting for one.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    out = "stale";
    EXPECT_EQ(readWholeFile(dir / "fifo", out, regularOnly).error(), EINVAL);
    EXPECT_EQ(out, "");

    // Without the restriction a FIFO is read to the writer's end.
    std::thread writer([&] {
        const int fd = ::open((dir / "fifo").c_str(), O_WRONLY | O_CLOEXEC);  // waits for the reader
        if (fd >= 0) {
            EXPECT_EQ(::write(fd, "piped", 5), 5);
            ::close(fd);
        }
    });
    EXPECT_EQ(readWholeFile(dir / "fifo", out).error(), 0);
    writer.join();
    EXPECT_EQ(out, "piped");
}

TEST(ReadWholeFile, SizeLimitHasItsOwnError)
{
    TempDir dir;
    // Longer than one read, so that the limit falls inside a later one.
    const std::string content(70000, 'z');
    writeFile(dir / "big", content);
    std::string out;
    EXPECT_EQ(readWholeFile(dir / "big", out, {.maxSize = content.size()}).error(), 0);
    EXPECT_EQ(out, content);
    EXPECT_EQ(readWholeFile(dir / "big", out, {.maxSize = content.size() - 1}).error(), EFBIG);
    EXPECT_EQ(out, "");
    EXPECT_EQ(readWholeFile(dir / "big", out, {.regularOnly = true, .maxSize = 10}).error(), EFBIG);
    writeFile(dir / "empty", "");
    EXPECT_EQ(readWholeFile(dir / "empty", out, {.maxSize = 0}).error(), 0);
}

TEST(WriteFileAtomic, NewFileModeAndLeftoversOfADeadWriter)
{
    TempDir dir;
    const std::string p = dir / "user.reg";
    ASSERT_EQ(writeFileAtomic(p, "private", nullptr, 0600).error(), 0);
    EXPECT_EQ(statOf(p).st_mode & 07777, 0600u);

    // What a writer that died half-way leaves, next to names that only look alike.
    writeFile(dir / ".user.reg.rvtmp-Ab12Cd", "half");
    writeFile(dir / ".user.reg.rvtmp-toolong", "not ours");
    writeFile(dir / ".other.rvtmp-Ab12Cd", "another file's");
    removeStaleTemporaries(p);
    EXPECT_EQ(listFolder(dir.path()),
              (std::vector<std::string>{".other.rvtmp-Ab12Cd", ".user.reg.rvtmp-toolong", "user.reg"}));

    // The descriptor handed over appends to the new file.
    int fd = -1;
    ASSERT_EQ(writeFileAtomic(p, "a\n", &fd).error(), 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "b\n", 2), 2);
    ::close(fd);
    EXPECT_EQ(readFile(p), "a\nb\n");
}

TEST(RenamePath, NeverReplacesAnExistingTarget)
{
    TempDir dir;
    writeFile(dir / "a", "A");
    writeFile(dir / "b", "B");
    EXPECT_EQ(renamePath(dir / "a", dir / "b").error(), EEXIST);
    EXPECT_EQ(readFile(dir / "a"), "A");
    EXPECT_EQ(readFile(dir / "b"), "B");

    std::filesystem::create_directory(dir / "History2");
    EXPECT_EQ(renamePath(dir / "a", dir / "History2").error(), EEXIST);
    EXPECT_EQ(renamePath(dir / "a", dir / "c").error(), 0);
    EXPECT_EQ(readFile(dir / "c"), "A");
    EXPECT_FALSE(pathExists(dir / "a"));
    EXPECT_EQ(renamePath(dir / "History2", dir / "History3").error(), 0);
    EXPECT_TRUE(directoryExists(dir / "History3"));
    EXPECT_EQ(renamePath(dir / "a", dir / "d").error(), ENOENT);
}

TEST(DeleteAndRemove, ReportTheErrno)
{
    TempDir dir;
    writeFile(dir / "sub/f", "x");
    EXPECT_EQ(deleteFile(dir / "sub").error(), EISDIR);
    EXPECT_EQ(removeDirectory(dir / "sub").error(), ENOTEMPTY);
    EXPECT_EQ(deleteFile(dir / "sub/f").error(), 0);
    EXPECT_EQ(deleteFile(dir / "sub/f").error(), ENOENT);
    EXPECT_EQ(removeDirectory(dir / "sub").error(), 0);
}

TEST(ErrorText, SystemTextWithoutTrailingStop)
{
    for (int err = 1; err < 134; ++err) {
        const std::string text = errorText(err);
        SCOPED_TRACE(err);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), '.');
        EXPECT_NE(text.back(), ' ');
        EXPECT_NE(text.back(), '\n');
        EXPECT_EQ(std::string(std::strerror(err)).rfind(text, 0), 0u);
    }
    EXPECT_EQ(errorText(ENOENT), "No such file or directory");
}

}  // namespace
}  // namespace renvo::test

namespace renvo::test {
namespace {

TEST(Temporaries, NamesAndTheOnesBesideGivenPaths)
{
    EXPECT_TRUE(isTemporaryName(".a.txt.rvtmp-Ab12Cd"));
    EXPECT_TRUE(isTemporaryName(".x.rvtmp-000000"));
    EXPECT_FALSE(isTemporaryName("..rvtmp-000000")) << "no name of a file before the tag";
    EXPECT_FALSE(isTemporaryName("a.txt.rvtmp-Ab12Cd")) << "ours are hidden";
    EXPECT_FALSE(isTemporaryName(".a.txt.rvtmp-Ab12C"));
    EXPECT_FALSE(isTemporaryName(".a.txt.rvtmp-Ab12C!"));
    EXPECT_FALSE(isTemporaryName(".a.txt.rvtmp-Ab12Cde"));

    TempDir dir;
    const std::string a = writeFile(dir / "x/a.txt", "a");
    writeFile(dir / "x/.a.txt.rvtmp-111111", "");
    writeFile(dir / "x/.b.txt.rvtmp-222222", "");  // beside a file not asked about
    writeFile(dir / "y/.c.txt.rvtmp-333333", "");
    std::vector<std::string> found = temporariesBeside({a, dir / "y/c.txt", dir / "x/a.txt"});
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{dir / "x/.a.txt.rvtmp-111111", dir / "y/.c.txt.rvtmp-333333"}));
}

}  // namespace
}  // namespace renvo::test
