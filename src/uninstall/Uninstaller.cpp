#include "uninstall/Uninstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Registry.h"
#include "platform/FileNames.h"

namespace renvo {

namespace {

const UninstallMessage kStartQuestion{
    "Renvo アンインストーラ",
    "アンインストールを実行します\r\n"
    "このアンインストーラではスタートアップのショートカットを消すことができません\r\n"
    "先に Renvo の[環境設定]-[詳細]で削除して下さい\r\n"
    "\r\n"
    "また，必ず Renvo が終了していることを確認して下さい\r\n"
    "\r\n"
    "実行を開始してよろしいですか？",
    MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No};

const UninstallMessage kFileQuestion{
    "ファイル削除の確認",
    "本体やヘルプファイルなどを削除しますか？\r\n"
    "\r\n"
    "※後で作成されたファイルなどは削除できません",
    MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes};

// No default is named for this box; a message box then defaults to its first button.
const UninstallMessage kRegistryQuestion{
    "レジストリ削除の確認", "レジストリの登録情報も消去しますか？",
    MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes};

const UninstallMessage kClosingMessage{
    "アンインストール完了",
    "アンインストールは完了しました\r\n"
    "\r\n"
    "※このアンインストーラや使用していたフォルダなどは手動で削除して下さい",
    MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok};

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

void runUninstall(UninstallUi& ui, const std::string& programFolder, const std::string& hivePath)
{
    if (ui.showMessage(kStartQuestion) != MsgAnswer::Yes)
        return;
    if (ui.showMessage(kFileQuestion) == MsgAnswer::Yes)
        deleteProgramFiles(programFolder);
    if (ui.showMessage(kRegistryQuestion) == MsgAnswer::Yes)
        deleteSettingsKey(hivePath);
    ui.showMessage(kClosingMessage);
}

}  // namespace renvo
