#include "shell/Scheduler.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/DateTime.h"

namespace renvo {

bool runDue(const TSettings& settings, double lastRunTime, double now)
{
    if (!settings.Mirroring)
        return false;
    return fracOf(settings.Interval) + lastRunTime <= now;
}

double postponedRunTime(const TSettings& settings, double lastRunTime)
{
    return lastRunTime + fracOf(settings.Postpone);
}

std::string nextRunTip(const TSettings& settings, double lastRunTime, double now)
{
    if (!settings.Mirroring)
        return "Renvo - 手動実行モードです";
    const double days = fracOf(settings.Interval) + lastRunTime - now;
    constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;
    const int64_t ms = std::llround(std::fabs(days) * kDayMs) % kDayMs;
    const int64_t minutesInDay = ms / 60000;
    return "Renvo - 次回予定 " + std::to_string(minutesInDay / 60) + " 時間 " +
           std::to_string(minutesInDay % 60) + " 分後";
}

namespace {

std::vector<std::string> failureParts(const RunOutcome& outcome)
{
    std::vector<std::string> parts;
    auto count = [&parts](size_t n, const char* what) {
        if (n > 0)
            parts.push_back(std::string(what) + " " + std::to_string(n) + " 件");
    };
    switch (outcome.end) {
    case RunEnd::OpenError:
    case RunEnd::Failed:
        parts.push_back("エラーで中断");
        break;
    case RunEnd::Cancelled:
        parts.push_back("キャンセル");
        break;
    default:
        break;
    }
    count(outcome.failedCopies, "複製失敗");
    count(outcome.failedDeletions, "削除失敗");
    count(outcome.unreadableFolders, "読めないフォルダ");
    count(outcome.skippedItems, "除外した項目");
    if (!outcome.logError.empty())
        parts.push_back("ログ書き込み失敗");
    return parts;
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty())
            text += "，";
        text += part;
    }
    return text;
}

}  // namespace

std::string lastRunLine(const RunOutcome& outcome)
{
    const std::vector<std::string> parts = failureParts(outcome);
    return parts.empty() ? std::string() : "前回: " + joined(parts);
}

std::string runFailureNotice(const RunOutcome& outcome, const std::string& logFile)
{
    // A cancelled run is the user's own doing; the box of the run has said so already.
    if (outcome.end == RunEnd::Cancelled && outcome.complete())
        return {};
    const std::vector<std::string> parts = failureParts(outcome);
    if (parts.empty())
        return {};
    std::string text = "前回のミラーリングは完了していません: " + joined(parts);
    if (outcome.end == RunEnd::Failed && !outcome.error.empty())
        text += "\r\n" + outcome.error;
    if (!outcome.logError.empty())
        return text + "\r\nログファイル " + logFile + " に書き込めませんでした: " + outcome.logError;
    return text + "\r\n詳しくはログファイルを見て下さい: " + logFile;
}

}  // namespace renvo
