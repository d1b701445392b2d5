#include "uninstall/Uninstaller.h"

#include <cstring>

#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/Registry.h"

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
    std::vector<std::string> data, exec;
    for (const char* name : kProgramFiles)
        (isDataFile(name) ? data : exec).emplace_back(name);
    removeWritableFilesIn(folders.programFolder, data);
    if (!folders.packaged)
        removeWritableFilesIn(folders.executableFolder, exec);
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
