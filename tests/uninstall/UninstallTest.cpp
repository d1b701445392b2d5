// The uninstaller's steps with scripted answers, on real program folders and a real hive.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include "uninstall/Uninstaller.h"

namespace renvo::test {
namespace {

const std::vector<std::string> kAllBoxes = {"Renvo アンインストーラ", "ファイル削除の確認",
                                            "レジストリ削除の確認", "アンインストール完了"};
const std::vector<std::string> kListed = {"Renvo", "_rvffl2", "_update", "Renvo.ctf", "renvo-run"};

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        prog = tmp / "program";
        hive = tmp / "config/Tovan/user.reg";
        std::filesystem::create_directories(prog);
    }

    // A folder as an installed and used program leaves it, and a hive with the settings key
    // (nested subkeys), a sibling key and a value on the shared parent.
    void install()
    {
        for (const std::string& name : kListed)
            writeFile(prog + "/" + name, "content of " + name);
        writeFile(prog + "/Uninstrv", "uninstaller");
        writeFile(prog + "/logfile.txt", "log");
        writeFile(prog + "/Mirrored Files/Latest/a.txt", "mirrored");
        writeFile(prog + "/notes.txt", "made later by the user");

        TRegistry reg(hive);
        for (const char* key : {"\\Software\\Tovan\\Renvo", "\\Software\\Tovan\\Renvo\\Layout\\Columns",
                                "\\Software\\Tovan\\Renvo\\Layout\\Bands", "\\Software\\Tovan\\Renvo\\Other",
                                "\\Software\\Tovan\\RenvoBackup", "\\Software\\Tovan"}) {
            ASSERT_TRUE(reg.OpenKey(key, true));
            ASSERT_TRUE(reg.WriteInteger("v", 1));
        }
    }

    // A portable copy: the program folder is the executable's.
    void run(ScriptedPrompt& prompt) { runUninstall(prompt, UninstallFolders{prog + "/", prog + "/", false}, hive); }

    TempDir tmp;
    std::string prog;
    std::string hive;
};

TEST_F(Uninstall, NoAtTheStartTouchesNothing)
{
    install();
    const std::string hiveBefore = readFile(hive);
    ScriptedPrompt prompt{{"Renvo アンインストーラ", PromptAnswer::No}};
    run(prompt);
    prompt.expectAllAnswered();
    ASSERT_EQ(prompt.asked.size(), 1u);
    const PromptMessage& start = prompt.asked[0];
    EXPECT_EQ(start.caption, "Renvo アンインストーラ");
    EXPECT_EQ(start.text,
              "アンインストールを実行します\r\n"
              "このアンインストーラではスタートアップのショートカットを消すことができません\r\n"
              "先に Renvo の[環境設定]-[詳細]で削除して下さい\r\n\r\n"
              "また，必ず Renvo が終了していることを確認して下さい\r\n\r\n"
              "実行を開始してよろしいですか？");
    EXPECT_EQ(start.icon, PromptIcon::Question);
    EXPECT_EQ(start.buttons, PromptButtons::YesNo);
    EXPECT_EQ(start.defaultButton, PromptAnswer::No);
    EXPECT_EQ(start.owner, nullptr);  // the uninstaller has no window of its own
    for (const std::string& name : kListed)
        EXPECT_TRUE(exists(prog + "/" + name)) << name;
    EXPECT_EQ(readFile(hive), hiveBefore);
}

TEST_F(Uninstall, NoToBothQuestionsStillShowsTheClosingMessage)
{
    install();
    const std::string hiveBefore = readFile(hive);
    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::No, PromptAnswer::Ok};
    run(prompt);
    prompt.expectAllAnswered();
    ASSERT_EQ(prompt.captions(), kAllBoxes);
    for (const std::string& name : kListed)
        EXPECT_TRUE(exists(prog + "/" + name)) << name;
    EXPECT_EQ(readFile(hive), hiveBefore);

    const PromptMessage& files = prompt.asked[1];
    EXPECT_EQ(files.text, "本体やヘルプファイルなどを削除しますか？\r\n\r\n※後で作成されたファイルなどは削除できません");
    EXPECT_EQ(files.icon, PromptIcon::Question);
    EXPECT_EQ(files.buttons, PromptButtons::YesNo);
    EXPECT_EQ(files.defaultButton, PromptAnswer::Yes);
    const PromptMessage& registry = prompt.asked[2];
    EXPECT_EQ(registry.text, "レジストリの登録情報も消去しますか？");
    EXPECT_EQ(registry.icon, PromptIcon::Question);
    EXPECT_EQ(registry.buttons, PromptButtons::YesNo);
    EXPECT_EQ(registry.defaultButton, PromptAnswer::Yes);
    const PromptMessage& closing = prompt.asked[3];
    EXPECT_EQ(closing.text,
              "アンインストールは完了しました\r\n\r\n※このアンインストーラや使用していたフォルダなどは手動で削除して下さい");
    EXPECT_EQ(closing.icon, PromptIcon::Information);
    EXPECT_EQ(closing.buttons, PromptButtons::Ok);
    EXPECT_EQ(closing.defaultButton, PromptAnswer::Ok);
    for (const PromptMessage& m : prompt.asked) {
        EXPECT_EQ(m.owner, nullptr) << m.caption;
        EXPECT_EQ(m.detail, "") << m.caption;
    }
}

TEST_F(Uninstall, YesToAllRemovesTheProgramFilesAndTheSettingsKeyOnly)
{
    install();
    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Ok};
    run(prompt);
    prompt.expectAllAnswered();
    EXPECT_EQ(prompt.captions(), kAllBoxes);

    for (const std::string& name : kListed)
        EXPECT_FALSE(exists(prog + "/" + name)) << name;
    EXPECT_EQ(readFile(prog + "/Uninstrv"), "uninstaller");
    EXPECT_EQ(readFile(prog + "/logfile.txt"), "log");
    EXPECT_EQ(readFile(prog + "/Mirrored Files/Latest/a.txt"), "mirrored");
    EXPECT_EQ(readFile(prog + "/notes.txt"), "made later by the user");

    TRegistry reg(hive);
    EXPECT_FALSE(reg.KeyExists("\\Software\\Tovan\\Renvo"));
    EXPECT_EQ(reg.GetKeyNames("\\Software\\Tovan"), std::vector<std::string>{"RenvoBackup"});
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan", false));
    EXPECT_TRUE(reg.ValueExists("v"));
    EXPECT_TRUE(reg.KeyExists("\\Software"));
}

TEST_F(Uninstall, EmptyFolderAndNoKeyShowTheSameBoxesAndCreateNothing)
{
    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Ok};
    run(prompt);
    prompt.expectAllAnswered();
    EXPECT_EQ(prompt.captions(), kAllBoxes);
    EXPECT_TRUE(std::filesystem::is_empty(prog));
    EXPECT_FALSE(exists(hive));
}

TEST_F(Uninstall, LinksFoldersAndReadOnlyFilesOfListedNames)
{
    std::string outside = writeFile(tmp / "outside/target.txt", "keep me");
    std::filesystem::create_directories(tmp / "outside/folder");
    writeFile(tmp / "outside/folder/inner", "keep me too");
    ASSERT_EQ(::symlink(outside.c_str(), (prog + "/_update").c_str()), 0);
    ASSERT_EQ(::symlink((tmp / "outside/folder").c_str(), (prog + "/Renvo.ctf").c_str()), 0);
    writeFile(prog + "/_rvffl2/inside", "a folder of a listed name");
    writeFile(prog + "/Renvo", "read-only program");
    ASSERT_EQ(::chmod((prog + "/Renvo").c_str(), 0555), 0);

    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::Ok};
    run(prompt);
    prompt.expectAllAnswered();

    // The links go, what they point to stays.
    EXPECT_FALSE(exists(prog + "/_update"));
    EXPECT_FALSE(exists(prog + "/Renvo.ctf"));
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_EQ(readFile(tmp / "outside/folder/inner"), "keep me too");
    EXPECT_EQ(readFile(prog + "/_rvffl2/inside"), "a folder of a listed name");
    EXPECT_EQ(readFile(prog + "/Renvo"), "read-only program");
}

// The built program started where no window can be shown: Qt alone would abort (SIGABRT)
// with its own English lines; the program says why in one Japanese line, fails with 1 and has
// asked and removed nothing.
TEST_F(Uninstall, ProgramWithoutADisplaySaysWhyAndRemovesNothing)
{
    const char* bin = std::getenv("RENVO_TEST_BIN");
    const std::string program = std::string(bin ? bin : ".") + "/Uninstrv";
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "Uninstrv not built at " << program;
    install();
    const std::string hiveBefore = readFile(hive);

    // Standard error alone is read; the paths are the test's own, without quotes in them.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM RENVO_HOME='" + prog +
                                "' XDG_CONFIG_HOME='" + (tmp / "config") + "' '" + program + "' 2>&1 >/dev/null";
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string err;
    char buf[4096];
    while (const size_t n = std::fread(buf, 1, sizeof buf, out))
        err.append(buf, n);
    const int status = ::pclose(out);

    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("デスクトップのセッションから起動して下さい"), std::string::npos) << err;
    for (const std::string& name : kListed)
        EXPECT_TRUE(exists(prog + "/" + name)) << name;
    EXPECT_EQ(readFile(hive), hiveBefore);
}

// An install whose executables and data lie apart: the executables in `exe`, the data in a
// per-user folder below `share`.
class SplitInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"Renvo", "renvo-run", "Uninstrv", "_rvffl2"})
            writeFile(exe + name, std::string("beside the programs: ") + name);
        for (const std::string& name : kListed)
            writeFile(data + name, "data folder: " + name);
        for (const char* name : {"_rvlock", "logfile.txt", "notes.txt", "Mirrored Files/Latest/a.txt"})
            writeFile(data + name, "data folder: kept");
        in.executableFolder = exe;
        in.xdgDataHome = tmp / "share";
        in.home = tmp / "home";
        in.canWrite = userCanWriteFolder;
    }
    void TearDown() override { ::chmod(exe.c_str(), 0755); }

    std::vector<std::string> namesIn(const std::string& folder) const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
            if (!e.is_directory())
                names.push_back(std::filesystem::relative(e.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir tmp;
    std::string exe = tmp / "lib/renvo/";
    std::string data = tmp / "share/Renvo/";
    std::string hive = tmp / "config/Tovan/user.reg";
    ProgramFolderInputs in;
};

TEST_F(SplitInstall, PackagedInstallLeavesTheProgramsToThePackageManager)
{
    // Read-only to its user; as root this holds by the mode bits alone.
    ASSERT_EQ(::chmod(exe.c_str(), 0555), 0);
    const UninstallFolders folders = uninstallFoldersFor(in);
    EXPECT_TRUE(folders.packaged);
    EXPECT_EQ(folders.programFolder, data);
    EXPECT_EQ(folders.executableFolder, exe);

    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::Ok};
    runUninstall(prompt, folders, hive);
    prompt.expectAllAnswered();
    ASSERT_EQ(prompt.captions(), kAllBoxes);
    EXPECT_EQ(prompt.asked[0].text,
              "アンインストールを実行します\r\n"
              "このアンインストーラではスタートアップのショートカットを消すことができません\r\n"
              "先に Renvo の[環境設定]-[詳細]で削除して下さい\r\n"
              "プログラム本体はパッケージマネージャで削除して下さい（例: sudo apt remove renvo）\r\n\r\n"
              "また，必ず Renvo が終了していることを確認して下さい\r\n\r\n"
              "実行を開始してよろしいですか？");
    EXPECT_EQ(prompt.asked[0].defaultButton, PromptAnswer::No);
    EXPECT_EQ(prompt.asked[1].text, "本体やヘルプファイルなどを削除しますか？\r\n\r\n※後で作成されたファイルなどは削除できません");

    // Only the data files went; the program folder's other files and the programs stay.
    EXPECT_EQ(namesIn(data), (std::vector<std::string>{"Mirrored Files/Latest/a.txt", "Renvo", "_rvlock",
                                                       "logfile.txt", "notes.txt", "renvo-run"}));
    EXPECT_EQ(readFile(data + "Renvo"), "data folder: Renvo");
    EXPECT_EQ(namesIn(exe), (std::vector<std::string>{"Renvo", "Uninstrv", "_rvffl2", "renvo-run"}));
    EXPECT_FALSE(exists(hive));
}

TEST_F(SplitInstall, PortableCopyWithItsDataElsewhereLosesBothItsProgramsAndItsData)
{
    in.renvoHome = data.substr(0, data.size() - 1);
    const UninstallFolders folders = uninstallFoldersFor(in);
    EXPECT_FALSE(folders.packaged);
    EXPECT_EQ(folders.programFolder, data);

    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::Ok};
    runUninstall(prompt, folders, hive);
    prompt.expectAllAnswered();
    EXPECT_EQ(prompt.asked[0].text.find("パッケージマネージャ"), std::string::npos);

    // The uninstaller itself stays, and so does a data file's name beside the programs: the
    // data are the program folder's.
    EXPECT_EQ(namesIn(exe), (std::vector<std::string>{"Uninstrv", "_rvffl2"}));
    EXPECT_EQ(namesIn(data), (std::vector<std::string>{"Mirrored Files/Latest/a.txt", "Renvo", "_rvlock",
                                                       "logfile.txt", "notes.txt", "renvo-run"}));
}

TEST_F(SplitInstall, AMissingPerUserFolderIsNotMadeByTheUninstaller)
{
    std::filesystem::remove_all(tmp / "share");
    in.canWrite = [](const std::string&) { return false; };
    const UninstallFolders folders = uninstallFoldersFor(in);
    EXPECT_TRUE(folders.packaged);
    EXPECT_EQ(folders.programFolder, data);
    ScriptedPrompt prompt{PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Ok};
    runUninstall(prompt, folders, hive);
    prompt.expectAllAnswered();
    EXPECT_FALSE(exists(tmp / "share"));
    EXPECT_EQ(namesIn(exe), (std::vector<std::string>{"Renvo", "Uninstrv", "_rvffl2", "renvo-run"}));
}

}  // namespace
}  // namespace renvo::test
