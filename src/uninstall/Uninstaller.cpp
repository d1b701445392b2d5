#include "uninstall/Uninstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Registry.h"
#include "platform/FileNames.h"

namespace renvo {

namespace {

const PromptMessage kStartQuestion{
    "Renvo アンインストーラ",
    "アンインストールを実行します\r\n"
    "このアンインストーラではスタートアップのショートカットを消すことができません\r\n"
    "先に Renvo の[環境設定]-[詳細]で削除して下さい\r\n"
    "\r\n"
    "また，必ず Renvo が終了していることを確認して下さい\r\n"
    "\r\n"
    "実行を開始してよろしいですか？",
    PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::No};

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

}  // namespace

void deleteProgramFiles(const std::string& programFolder)
{
    // Names are taken relative to this descriptor, so no path is ever re-resolved and no link
    // below the folder is followed.
    int dir = ::open(programFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    for (const char* name : kProgramFiles) {
        struct stat st;
        if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // A read-only file (no owner write bit: the read-only attribute) is passed over like
        // a locked one; the user protected it.
        if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))
            continue;
        ::unlinkat(dir, name, 0);  // without AT_REMOVEDIR a folder of that name stays
    }
    ::close(dir);
}

void deleteSettingsKey(const std::string& hivePath)
{
    TRegistry reg(hivePath);
    if (reg.KeyExists(kSettingsKey))
        deleteKeyTree(reg, kSettingsKey);
}

void runUninstall(Prompt& prompt, const std::string& programFolder, const std::string& hivePath)
{
    if (prompt.ask(kStartQuestion) != PromptAnswer::Yes)
        return;
    if (prompt.ask(kFileQuestion) == PromptAnswer::Yes)
        deleteProgramFiles(programFolder);
    if (prompt.ask(kRegistryQuestion) == PromptAnswer::Yes)
        deleteSettingsKey(hivePath);
    prompt.ask(kClosingMessage);
}

}  // namespace renvo
