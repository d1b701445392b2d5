// One hive shared by several writers, and hives that cannot be written.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "common/Privileges.h"
#include "registry/HiveTestUtil.h"

namespace renvo::test {
namespace {

using HiveSharing = HiveTest;

TEST_F(HiveSharing, TwoHandlesWritingOtherKeysKeepBoth)
{
    TRegistry settings(hive), layout(hive);
    ASSERT_TRUE(settings.OpenKey("\\Software\\Tovan\\Renvo", true));
    ASSERT_TRUE(layout.OpenKey("\\Software\\Tovan\\Renvo\\Layout", true));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(settings.WriteInteger("S" + std::to_string(i), i));
        ASSERT_TRUE(layout.WriteInteger("L" + std::to_string(i), i));
    }
    TRegistry check(hive);
    ASSERT_TRUE(check.OpenKey("\\Software\\Tovan\\Renvo", false));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(check.ValueExists("S" + std::to_string(i))) << i;
    ASSERT_TRUE(check.OpenKey("Layout", false));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(check.ValueExists("L" + std::to_string(i))) << i;
}

TEST_F(HiveSharing, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kWrites = 40;
    std::vector<pid_t> children;
    for (const char* key : {"\\Software\\Tovan\\Renvo", "\\Software\\Tovan\\Other"}) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TRegistry reg(hive);
            if (!reg.OpenKey(key, true))
                ::_exit(2);
            for (int i = 0; i < kWrites; ++i) {
                if (!reg.WriteInteger("v" + std::to_string(i), i))
                    ::_exit(3);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    TRegistry reg(hive);
    for (const char* key : {"\\Software\\Tovan\\Renvo", "\\Software\\Tovan\\Other"}) {
        ASSERT_TRUE(reg.OpenKey(key, false)) << key;
        for (int i = 0; i < kWrites; ++i)
            EXPECT_TRUE(reg.ValueExists("v" + std::to_string(i))) << key << " " << i;
    }
    // Only the hive and its lock file remain: no temporary files left over.
    EXPECT_EQ(listFolder(folder), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

TEST_F(HiveSharing, ReadOnlyFolderRefusesWritesAndKeepsTheFile)
{
    {
        TRegistry reg = openRenvo();
        ASSERT_TRUE(reg.WriteString("MirTopFolder", "/old"));
    }
    const std::string before = readFile(hive);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    WithoutDacOverride guard;
    std::string probe = folder + "/probe";
    if (std::ofstream(probe)) {
        ::unlink(probe.c_str());
        GTEST_SKIP() << "this user can write into read-only folders";
    }
    TRegistry reg = openRenvo(false);
    EXPECT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));  // exists: opens without a write
    errno = 0;
    EXPECT_FALSE(reg.WriteString("MirTopFolder", "/new"));
    EXPECT_NE(errno, 0);
    EXPECT_FALSE(reg.DeleteKey("\\Software\\Tovan\\Renvo"));
    EXPECT_EQ(readFile(hive), before);
    EXPECT_EQ(reg.ReadValue("MirTopFolder")->data, sz("/old").data);
}

// A write that fails half-way (here: the file size limit, which binds root too) leaves the old
// hive whole and no temporary file behind.
TEST_F(HiveSharing, FailedWriteLeavesTheOldHive)
{
    {
        TRegistry reg = openRenvo();
        ASSERT_TRUE(reg.WriteString("MirTopFolder", "/old"));
    }
    const std::string before = readFile(hive);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{before.size() + 16, before.size() + 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        TRegistry reg(hive);
        if (!reg.OpenKey("\\Software\\Tovan\\Renvo", false))
            ::_exit(2);
        std::vector<uint8_t> big(4000, 0x5a);
        errno = 0;
        bool ok = reg.WriteBinary("Big", big.data(), big.size());
        ::_exit(ok ? 3 : (errno == EFBIG ? 0 : 4));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readFile(hive), before);
    EXPECT_EQ(listFolder(folder), (std::vector<std::string>{"user.reg", "user.reg.lock"}));

    // A temporary file left by a writer that died is cleared by the next write.
    writeFile(folder + "/.user.reg.rvtmp-Ab12Cd", "half a hive");
    ASSERT_TRUE(openRenvo(false).WriteInteger("Mirroring", 1));
    EXPECT_EQ(listFolder(folder), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

TEST_F(HiveSharing, SavingThroughALinkedHiveKeepsTheLink)
{
    std::string real = tmp / "dotfiles/user.reg";
    writeFile(real, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Keep]\n\"k\"=dword:00000001\n\n");
    ::mkdir(folder.c_str(), 0700);
    ASSERT_EQ(::symlink("../dotfiles/user.reg", hive.c_str()), 0);
    {
        TRegistry reg = openRenvo();
        ASSERT_TRUE(reg.WriteInteger("Mirroring", 1));
    }
    struct stat st;
    ASSERT_EQ(::lstat(hive.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    std::string text = readFile(real);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Keep]"), std::string::npos);
    EXPECT_NE(text.find("\"Mirroring\"=dword:00000001"), std::string::npos);
}

// A link whose file is not there yet (a fresh dotfiles checkout): the first save makes that
// file, private as any new hive, and the link stays.
TEST_F(HiveSharing, SavingThroughADanglingLinkMakesItsFile)
{
    ::mkdir((tmp / "dotfiles").c_str(), 0755);
    ::mkdir(folder.c_str(), 0700);
    ASSERT_EQ(::symlink("../dotfiles/user.reg", hive.c_str()), 0);
    {
        TRegistry reg = openRenvo();
        ASSERT_TRUE(reg.WriteInteger("Mirroring", 1));
    }
    struct stat st;
    ASSERT_EQ(::lstat(hive.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat((tmp / "dotfiles/user.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(tmp / "dotfiles/user.reg").find("\"Mirroring\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(listFolder(folder), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
    EXPECT_EQ(listFolder(tmp / "dotfiles"), std::vector<std::string>{"user.reg"});
}

}  // namespace
}  // namespace renvo::test
