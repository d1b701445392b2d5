#include "uninstall/Uninstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/Registry.h"
#include "platform/FileNames.h"

namespace renvo {

namespace {

const char kStartCaption[] = "Renvo アンインストーラ";
const char kStartIntro[] =
    "アンインストールを実行します\r\n"
    "このアンインストーラではスタートアップのショートカットを消すことができません\r\n"
    "先に Renvo の[環境設定]-[詳細]で削除して下さい\r\n";
// Only for a packaged install, whose executables this uninstaller leaves alone.
const char kPackagedNote[] = "プログラム本体はパッケージマネージャで削除して下さい（例: sudo apt remove renvo）\r\n";
const char kStartRest[] =
    "\r\n"
    "また，必ず Renvo が終了していることを確認して下さい\r\n"
    "\r\n"
    "実行を開始してよろしいですか？";

PromptMessage startQuestion(bool packaged)
{
    std::string text = kStartIntro;
    if (packaged)
        text += kPackagedNote;
    text += kStartRest;
    return PromptMessage{kStartCaption, text, PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::No};
}

const PromptMessage kFileQuestion{
    "ファイル削除の確認",
    "本体やヘルプファイルなどを削除しますか？\r\n"
    "\r\n"
    "※後で作成されたファイルなどは削除できません",
    PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::Yes};

// No default is named for this box; a message box then defaults to its first button.
const PromptMessage kRegistryQuestion{
    "レジストリ削除の確認", "レジストリの登録情報も消去しますか？",
    PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::Yes};

const PromptMessage kClosingMessage{
    "アンインストール完了",
    "アンインストールは完了しました\r\n"
    "\r\n"
    "※このアンインストーラや使用していたフォルダなどは手動で削除して下さい",
    PromptIcon::Information, PromptButtons::Ok, PromptAnswer::Ok};

// Depth first, last subkey first. Keys deeper than the hive allows are never listed, which
// bounds the recursion.
void deleteKeyTree(TRegistry& reg, const std::string& key)
{
    std::vector<std::string> subkeys = reg.GetKeyNames(key);
    for (size_t i = subkeys.size(); i-- > 0;)
        deleteKeyTree(reg, key + '\\' + subkeys[i]);
    reg.DeleteKey(key);
}

bool isDataFile(const char* name)
{
    return std::strcmp(name, kListFileName) == 0 || std::strcmp(name, kUpdateFileName) == 0 ||
           std::strcmp(name, kTableFileName) == 0 || std::strcmp(name, kUsedTopsFileName) == 0 ||
           std::strcmp(name, kMountPointsFileName) == 0;
}

void removeListedFile(int dir, const char* name)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    // A read-only file (no owner write bit: the read-only attribute) is passed over like
    // a locked one; the user protected it.
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))
        return;
    ::unlinkat(dir, name, 0);  // without AT_REMOVEDIR a folder of that name stays
}

}  // namespace

UninstallFolders uninstallFoldersFor(const ProgramFolderInputs& in)
{
    UninstallFolders folders;
    folders.programFolder = programFolderFor(in);
    folders.executableFolder = in.executableFolder;
    folders.packaged = !(in.canWrite && in.canWrite(in.executableFolder));
    return folders;
}

void deleteProgramFiles(const UninstallFolders& folders)
{
    // Names are taken relative to these descriptors, so no path is ever re-resolved and no
    // link below the folders is followed.
    const int data = ::open(folders.programFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int exec = folders.packaged ? -1 : ::open(folders.executableFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const char* name : kProgramFiles) {
        const int dir = isDataFile(name) ? data : exec;
        if (dir >= 0)
            removeListedFile(dir, name);
    }
    if (data >= 0)
        ::close(data);
    if (exec >= 0)
        ::close(exec);
}

void deleteSettingsKey(const std::string& hivePath)
{
    TRegistry reg(hivePath);
    if (reg.KeyExists(kSettingsKey))
        deleteKeyTree(reg, kSettingsKey);
}

void runUninstall(Prompt& prompt, const UninstallFolders& folders, const std::string& hivePath)
{
    if (prompt.ask(startQuestion(folders.packaged)) != PromptAnswer::Yes)
        return;
    if (prompt.ask(kFileQuestion) == PromptAnswer::Yes)
        deleteProgramFiles(folders);
    if (prompt.ask(kRegistryQuestion) == PromptAnswer::Yes)
        deleteSettingsKey(hivePath);
    prompt.ask(kClosingMessage);
}

}  // namespace renvo
