#include "engine/MirrorLog.h"

#include "platform/DateTime.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"

namespace renvo {

namespace {

const std::string kRule(70, '-');

// A name may hold any byte but '/' and NUL: control characters are written as \xNN, so one
// name can never start a line of its own in the log.
std::string shown(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

MirrorLog::MirrorLog(std::string path, bool append, bool keep)
    : path_(std::move(path)), append_(append), keep_(keep)
{
}

bool MirrorLog::begin(bool standardRun, double startTime)
{
    if (append_ && pathExists(path_)) {
        // Only whether it can be read and how it ends matters: the old lines stay on disk, and
        // a log that grows run by run is never read whole.
        bool endsWithLf = true;
        if (endsWithLineFeed(path_, endsWithLf) != 0)
            return false;
        hadOldLog_ = true;
        if (!endsWithLf && keep_)
            pending_ = "\r\n";  // ends the old log's last line
        add({});  // the empty line between two runs' blocks
    }
    add(kRule);
    add("                  Renvo 3 ミラーリングログファイル");
    add(kRule);
    add("      Copyright (C) Tovan. Renvo for Linux");
    add({});
    add(standardRun ? "種    別: 標準ミラーリング" : "種    別: 完全ミラーリング");
    add("実行開始: " + formatLogDateTime(startTime));
    add({});
    return true;
}

void MirrorLog::add(const std::string& line)
{
    // Lines are kept only until they are on disk: a run of many copies must not hold them all.
    if (!keep_)
        return;
    pending_ += line;
    pending_ += "\r\n";
}

void MirrorLog::addCopy(const std::string& src, const std::string& dst, int err)
{
    if (err == 0) {
        add("複製成功: " + shown(src) + " -> " + shown(dst));
    } else {
        add("複製失敗: " + shown(src) + " ->X " + shown(dst));
        add("原    因: " + errorText(err));
    }
}

void MirrorLog::addDeletion(const std::string& path, int err)
{
    if (err == 0) {
        add("削除成功: " + shown(path));
    } else {
        add("削除失敗: " + shown(path));
        add("原    因: " + errorText(err));
    }
}

void MirrorLog::addSpecial(const std::string& path)
{
    add("複製除外: " + shown(path));
    add("原    因: パイプ、ソケットまたはデバイスは複製しません");
}

void MirrorLog::addUnreadable(const std::string& folder, int err)
{
    add("読込失敗: " + shown(folder));
    add("原    因: " + errorText(err));
}

void MirrorLog::addSkippedRecord(const std::string& address, const std::string& dest, ItemProblem problem)
{
    std::string why;
    switch (problem) {
    case ItemProblem::EmptyAddress: why = "対象アドレスがありません"; break;
    case ItemProblem::AddressNotAbsolute: why = "対象アドレスが完全なパスではありません"; break;
    case ItemProblem::AddressHasNul: why = "対象アドレスに NUL 文字が含まれています"; break;
    case ItemProblem::BadFileName: why = "対象アドレスのファイル名が不正です"; break;
    case ItemProblem::AddressOverlapsTop: why = "対象アドレスがミラーリングのトップフォルダと重なっています"; break;
    case ItemProblem::DestOutsideLatest: why = "ミラーリング先がリンクで Latest の外を指しています: " + shown(dest); break;
    default: why = "ミラーリング先が不正です: " + shown(dest); break;
    }
    add("登録不正: " + shown(address));
    add("原    因: " + why);
}

void MirrorLog::addBadTopFolder(const std::string& top)
{
    add("設定不正: ミラーリングのトップフォルダが完全なパスではありません: " + shown(top));
}

void MirrorLog::addTopUnavailable(const std::string& text)
{
    add("実行中止: " + text);
}

void MirrorLog::addUnavailable(const std::string& address, const std::string& why)
{
    add("対象不在: " + shown(address));
    add("原    因: " + why);
}

void MirrorLog::addHistoryFailure(const std::string& path, int err)
{
    add("履歴失敗: " + shown(path));
    add("原    因: " + errorText(err));
}

void MirrorLog::addSaveFailure(const std::string& path, int err)
{
    add("保存失敗: " + shown(path));
    add("原    因: " + errorText(err));
}

void MirrorLog::addDropped(const std::string& address)
{
    add("登録削除: " + shown(address));
}

void MirrorLog::addHistory(size_t files)
{
    add({});
    add("履歴増加: " + std::to_string(files) + "個のファイルが履歴に追加されました");
}

void MirrorLog::end(double endTime)
{
    add({});
    add("実行終了: " + formatLogDateTime(endTime));
}

void MirrorLog::save()
{
    if (!keep_ || pending_.empty())
        return;
    if (!file_.isOpen()) {
        if (!started_ && !hadOldLog_) {
            // The first write of a fresh log replaces the old file whole, atomically, and the
            // new file stays open for the lines that follow.
            int fd = -1;
            writeError_ = retryAttempts([&] { return writeFileAtomic(path_, pending_, &fd).error(); });
            if (writeError_ == 0) {
                file_.adopt(fd);
                started_ = true;
                pending_.clear();
            }
            return;
        }
        if ((writeError_ = file_.open(path_)) != 0)
            return;
    }
    // A failed append leaves no half-written line behind: the next write starts from the
    // same lines.
    if ((writeError_ = file_.append(pending_)) != 0)
        return;
    started_ = true;
    pending_.clear();
}

}  // namespace renvo
