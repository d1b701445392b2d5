#include "engine/MirrorLog.h"

#include "platform/DateTime.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace renvo {

namespace {

const std::string kRule(70, '-');

}  // namespace

MirrorLog::MirrorLog(std::string path, bool append, bool keep)
    : path_(std::move(path)), append_(append), keep_(keep)
{
}

bool MirrorLog::begin(bool standardRun, double startTime)
{
    if (append_ && pathExists(path_)) {
        // Only whether it can be read and how it ends matters: the old lines stay on disk.
        std::string old;
        if (!readWholeFile(path_, old))
            return false;
        hadOldLog_ = true;
        needsBreak_ = !old.empty() && old.back() != '\n';
        lines_.emplace_back();  // the empty line between two runs' blocks
    }
    lines_.push_back(kRule);
    lines_.push_back("                  Renvo 3 ミラーリングログファイル");
    lines_.push_back(kRule);
    lines_.push_back("      Copyright (C) Tovan. Renvo for Linux");
    lines_.emplace_back();
    lines_.push_back(standardRun ? "種    別: 標準ミラーリング" : "種    別: 完全ミラーリング");
    lines_.push_back("実行開始: " + formatLogDateTime(startTime));
    lines_.emplace_back();
    return true;
}

void MirrorLog::add(std::string line)
{
    lines_.push_back(std::move(line));
}

void MirrorLog::addCopy(const std::string& src, const std::string& dst, int err)
{
    if (err == 0) {
        lines_.push_back("複製成功: " + src + " -> " + dst);
    } else {
        lines_.push_back("複製失敗: " + src + " ->X " + dst);
        lines_.push_back("原    因: " + errorText(err));
    }
}

void MirrorLog::addDeletion(const std::string& path, int err)
{
    if (err == 0) {
        lines_.push_back("削除成功: " + path);
    } else {
        lines_.push_back("削除失敗: " + path);
        lines_.push_back("原    因: " + errorText(err));
    }
}

void MirrorLog::addHistory(size_t files)
{
    lines_.emplace_back();
    lines_.push_back("履歴増加: " + std::to_string(files) + "個のファイルが履歴に追加されました");
}

void MirrorLog::end(double endTime)
{
    lines_.emplace_back();
    lines_.push_back("実行終了: " + formatLogDateTime(endTime));
}

void MirrorLog::save()
{
    if (!keep_ || written_ == lines_.size())
        return;
    std::string chunk;
    if (!started_ && hadOldLog_ && needsBreak_)
        chunk += "\r\n";
    for (size_t i = written_; i < lines_.size(); ++i) {
        chunk += lines_[i];
        chunk += "\r\n";
    }
    if (!started_ && !hadOldLog_) {
        // The first write of a fresh log replaces the old file whole, atomically.
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            if (writeFileAtomic(path_, chunk) == 0) {
                started_ = true;
                written_ = lines_.size();
                return;
            }
        }
        return;
    }
    FdGuard fd(openRetry(path_, O_WRONLY | O_APPEND | O_CREAT, 0644));
    if (fd.get() < 0)
        return;
    struct stat st {};
    const off_t before = ::fstat(fd.get(), &st) == 0 ? st.st_size : -1;
    if (!writeAll(fd.get(), chunk.data(), chunk.size())) {
        // Leave no half-written line behind: the next write starts from the same lines.
        if (before >= 0)
            static_cast<void>(::ftruncate(fd.get(), before));
        return;
    }
    started_ = true;
    written_ = lines_.size();
}

}  // namespace renvo
