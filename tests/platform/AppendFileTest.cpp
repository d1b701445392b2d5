// The appending file of the log and the look at an old log's last byte; tree removal.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <unistd.h>

#include <filesystem>

#include "common/Privileges.h"
#include "common/TempDir.h"
#include "platform/AppendFile.h"
#include "platform/FileSys.h"
#include "platform/RemoveTree.h"

namespace renvo::test {
namespace {

TEST(AppendFile, AppendsAfterWhatIsThereAndAfterAnAdoptedAtomicWrite)
{
    TempDir tmp;
    const std::string path = writeFile(tmp / "log.txt", "old\r\n");
    AppendFile file;
    ASSERT_EQ(file.open(path), 0);
    EXPECT_EQ(file.append("one\r\n"), 0);
    EXPECT_EQ(file.append("two\r\n"), 0);
    EXPECT_EQ(readFile(path), "old\r\none\r\ntwo\r\n");

    int fd = -1;
    ASSERT_EQ(writeFileAtomic(path, "fresh\r\n", &fd).error(), 0);
    AppendFile adopted;
    adopted.adopt(fd);
    ::lseek(fd, 0, SEEK_SET);  // appends still go to the end
    EXPECT_EQ(adopted.append("more\r\n"), 0);
    EXPECT_EQ(readFile(path), "fresh\r\nmore\r\n");
}

// A write cut short half-way (the file may grow no further) is taken back whole: the log
// never ends in half a line.
TEST(AppendFile, AWriteCutShortLeavesNoPartOfIt)
{
    TempDir tmp;
    const std::string path = writeFile(tmp / "log.txt", "old\r\n");
    AppendFile file;
    ASSERT_EQ(file.open(path), 0);
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 8;  // room for three more bytes
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int err = file.append("line that does not fit\r\n");
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(readFile(path), "old\r\n");
    EXPECT_FALSE(file.isOpen());
}

TEST(AppendFile, FailedAppendClosesAndOpenFailuresAreReported)
{
    TempDir tmp;
    AppendFile full;
    ASSERT_EQ(full.open("/dev/full"), 0);
    EXPECT_EQ(full.append("lost"), ENOSPC);
    EXPECT_FALSE(full.isOpen()) << "the next write reopens";
    EXPECT_EQ(full.append("x"), EBADF);

    AppendFile missing;
    EXPECT_EQ(missing.open(tmp / "no/such/folder/log.txt"), ENOENT);
    EXPECT_FALSE(missing.isOpen());
}

TEST(AppendFile, EndsWithLineFeedLooksAtTheLastByteOnly)
{
    TempDir tmp;
    bool lf = false;
    EXPECT_EQ(endsWithLineFeed(writeFile(tmp / "empty", ""), lf), 0);
    EXPECT_TRUE(lf) << "an empty log needs no line end";
    EXPECT_EQ(endsWithLineFeed(writeFile(tmp / "ended", "a\r\n"), lf), 0);
    EXPECT_TRUE(lf);
    EXPECT_EQ(endsWithLineFeed(writeFile(tmp / "open", "a\r\nb"), lf), 0);
    EXPECT_FALSE(lf);
    EXPECT_EQ(endsWithLineFeed(tmp / "missing", lf), ENOENT);

    const std::string locked = writeFile(tmp / "locked", "a");
    ::chmod(locked.c_str(), 0);
    WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "file modes do not bind this process";
    EXPECT_EQ(endsWithLineFeed(locked, lf), EACCES);
}

TEST(RemoveTree, RemovesHiddenEntriesAndNeverFollowsLinks)
{
    TempDir tmp;
    const std::string kept = writeFile(tmp / "outside/kept.txt", "kept");
    writeFile(tmp / "gen/.hidden/a.txt", "a");
    writeFile(tmp / "gen/b/c.txt", "c");
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (tmp / "gen/b/link").c_str()), 0);
    removeTree(tmp / "gen");
    EXPECT_FALSE(pathExists(tmp / "gen"));
    EXPECT_EQ(readFile(kept), "kept");

    // A link in the folder's own place goes; its target stays.
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (tmp / "genlink").c_str()), 0);
    removeTree(tmp / "genlink");
    EXPECT_FALSE(pathExists(tmp / "genlink"));
    EXPECT_EQ(readFile(kept), "kept");
}

}  // namespace
}  // namespace renvo::test
