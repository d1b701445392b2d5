// The program folder's one rule: RENVO_HOME, a writable executable folder, the per-user folder.

#include "platform/Program.h"

#include "common/Privileges.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace renvo::test {
namespace {

struct Probe {
    bool answer = false;
    std::vector<std::string> asked;
};

ProgramFolderInputs inputs(Probe& probe)
{
    ProgramFolderInputs in;
    in.executableFolder = "/opt/renvo/";
    in.xdgDataHome = "/data/xdg";
    in.home = "/home/u";
    in.passwordHome = "/home/pw";
    in.canWrite = [&probe](const std::string& folder) {
        probe.asked.push_back(folder);
        return probe.answer;
    };
    return in;
}

TEST(ProgramFolderRule, RenvoHomeWinsOverEverythingAndIsNotProbed)
{
    Probe probe;
    probe.answer = true;
    ProgramFolderInputs in = inputs(probe);
    in.renvoHome = "/srv/renvo";
    EXPECT_EQ(programFolderFor(in), "/srv/renvo/");
    in.renvoHome = "/srv/renvo/";
    EXPECT_EQ(programFolderFor(in), "/srv/renvo/");
    EXPECT_TRUE(probe.asked.empty());
    // Empty counts as unset.
    in.renvoHome = "";
    EXPECT_EQ(programFolderFor(in), "/opt/renvo/");
    EXPECT_EQ(probe.asked, std::vector<std::string>{"/opt/renvo/"});
}

TEST(ProgramFolderRule, UnwritableExecutableFolderGivesThePerUserFolder)
{
    Probe probe;
    ProgramFolderInputs in = inputs(probe);
    EXPECT_EQ(programFolderFor(in), "/data/xdg/Renvo/");
    in.xdgDataHome = "/data/xdg/";
    EXPECT_EQ(programFolderFor(in), "/data/xdg/Renvo/");
    // Unset or relative XDG_DATA_HOME: the default below HOME.
    in.xdgDataHome = "";
    EXPECT_EQ(programFolderFor(in), "/home/u/.local/share/Renvo/");
    in.xdgDataHome = "data/xdg";
    EXPECT_EQ(programFolderFor(in), "/home/u/.local/share/Renvo/");
    // No usable HOME: the password entry's.
    in.home = "";
    EXPECT_EQ(programFolderFor(in), "/home/pw/.local/share/Renvo/");
    in.home = "u";
    EXPECT_EQ(programFolderFor(in), "/home/pw/.local/share/Renvo/");
    // No home at all: nothing better than the executable's folder.
    in.passwordHome = "";
    EXPECT_EQ(programFolderFor(in), "/opt/renvo/");
    // XDG_DATA_HOME needs no home.
    in.xdgDataHome = "/data/xdg";
    EXPECT_EQ(programFolderFor(in), "/data/xdg/Renvo/");
}

bool isFolder(const std::string& path, mode_t* mode = nullptr)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (mode)
        *mode = st.st_mode & 07777;
    return true;
}

class ProgramFolderOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        exe = tmp / "exe/";
        ::mkdir(exe.c_str(), 0755);
        in.executableFolder = exe;
        in.xdgDataHome = tmp / "data/deep";
        in.home = tmp / "home";
        in.canWrite = userCanWriteFolder;
    }

    TempDir tmp;
    std::string exe;
    ProgramFolderInputs in;
};

TEST_F(ProgramFolderOnDisk, WritableExecutableFolderIsAPortableCopy)
{
    EXPECT_TRUE(userCanWriteFolder(exe));
    EXPECT_EQ(resolveProgramFolder(in), exe);
    EXPECT_FALSE(isFolder(tmp / "data"));
    EXPECT_FALSE(isFolder(tmp / "home"));
}

TEST_F(ProgramFolderOnDisk, ReadOnlyExecutableFolderMakesThePerUserFolder)
{
    ASSERT_EQ(::chmod(exe.c_str(), 0555), 0);
    WithoutDacOverride unprivileged;
    if (!unprivileged.effective())
        GTEST_SKIP() << "root keeps its capabilities here";
    EXPECT_FALSE(userCanWriteFolder(exe));

    const std::string folder = resolveProgramFolder(in);
    EXPECT_EQ(folder, tmp / "data/deep/Renvo/");
    mode_t mode = 0;
    ASSERT_TRUE(isFolder(folder, &mode));
    EXPECT_EQ(mode, 0700u);
    ASSERT_TRUE(isFolder(tmp / "data/deep", &mode));
    EXPECT_EQ(mode & 0077, 0u);  // missing levels are private as well

    // Made once; what is in it stays.
    writeFile(folder + "_rvffl2", "list");
    EXPECT_EQ(resolveProgramFolder(in), folder);
    EXPECT_EQ(readFile(folder + "_rvffl2"), "list");

    // Unset or relative XDG_DATA_HOME: below HOME.
    for (const char* xdg : {"", "relative/data"}) {
        in.xdgDataHome = xdg;
        EXPECT_EQ(resolveProgramFolder(in), tmp / "home/.local/share/Renvo/") << xdg;
    }
    ASSERT_TRUE(isFolder(tmp / "home/.local/share/Renvo", &mode));
    EXPECT_EQ(mode, 0700u);
    EXPECT_FALSE(isFolder("relative"));
    EXPECT_FALSE(isFolder(exe + "Renvo"));
}

TEST_F(ProgramFolderOnDisk, AFolderThatCannotBeMadeIsReturnedAllTheSame)
{
    in.canWrite = [](const std::string&) { return false; };
    writeFile(tmp / "data", "a file where a folder should be");
    EXPECT_EQ(resolveProgramFolder(in), tmp / "data/deep/Renvo/");
    EXPECT_EQ(readFile(tmp / "data"), "a file where a folder should be");
}

TEST_F(ProgramFolderOnDisk, RootCountsOnlyThePermissionsNotItsPrivilege)
{
    // With every capability still in place: a 0555 folder is read-only to root as well.
    ASSERT_EQ(::chmod(exe.c_str(), 0555), 0);
    EXPECT_FALSE(userCanWriteFolder(exe));
    EXPECT_FALSE(userCanWriteFolder(tmp / "missing"));
    ASSERT_EQ(::chmod(exe.c_str(), 0700), 0);
    EXPECT_TRUE(userCanWriteFolder(exe));
    // Write without search is no use for making files.
    ASSERT_EQ(::chmod(exe.c_str(), 0600), 0);
    EXPECT_FALSE(userCanWriteFolder(exe));
    ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
}

class ProcessInputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    void TearDown() override
    {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (saved_[i])
                ::setenv(kNames[i], saved_[i]->c_str(), 1);
            else
                ::unsetenv(kNames[i]);
        }
    }

private:
    static constexpr const char* kNames[] = {"RENVO_HOME", "XDG_DATA_HOME", "HOME"};
    std::vector<std::optional<std::string>> saved_;
};

TEST_F(ProcessInputs, TakenFromTheEnvironmentTheExecutableAndThePasswordEntry)
{
    ::setenv("RENVO_HOME", "/srv/renvo", 1);
    ::setenv("XDG_DATA_HOME", "/data/xdg", 1);
    ::setenv("HOME", "/home/someone", 1);
    ProgramFolderInputs in = currentProgramFolderInputs();
    EXPECT_EQ(in.renvoHome, "/srv/renvo");
    EXPECT_EQ(in.xdgDataHome, "/data/xdg");
    EXPECT_EQ(in.home, "/home/someone");
    EXPECT_EQ(in.executableFolder, executableFolder());
    struct stat st {};
    EXPECT_EQ(::stat((in.executableFolder + program_invocation_short_name).c_str(), &st), 0);
    ASSERT_TRUE(in.canWrite);
    EXPECT_EQ(in.canWrite(in.executableFolder), userCanWriteFolder(in.executableFolder));

    ::unsetenv("HOME");
    in = currentProgramFolderInputs();
    EXPECT_EQ(in.home, "");
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(in.passwordHome, pw->pw_dir);
}

TEST_F(ProcessInputs, HomeFolderIsAnAbsoluteHomeElseThePasswordEntry)
{
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    const std::string password = pw->pw_dir;
    EXPECT_EQ(passwordHomeFolder(), password);
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"/home/someone", "/home/someone"}, {"relative/home", password}, {"", password}, {nullptr, password}};
    for (const auto& [home, expected] : cases) {
        if (home)
            ::setenv("HOME", home, 1);
        else
            ::unsetenv("HOME");
        EXPECT_EQ(homeFolder(), expected) << (home ? home : "unset");
    }
}

}  // namespace
}  // namespace renvo::test
