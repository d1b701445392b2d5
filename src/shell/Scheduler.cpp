#include "shell/Scheduler.h"

#include <algorithm>
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

namespace {

constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;
constexpr int64_t kMinuteMs = 60 * 1000;

// The distance from now to the due time as the tooltip counts it: whole milliseconds.
int64_t tipMs(double days)
{
    return std::llround(std::fabs(days) * kDayMs);
}

}  // namespace

int64_t msUntilDue(const TSettings& settings, double lastRunTime, double now, int64_t longest)
{
    if (!settings.Mirroring)
        return longest;
    const double days = fracOf(settings.Interval) + lastRunTime - now;
    if (days <= 0)
        return 0;
    // Rounded up, so that the look lands on or after the due time, not just before it.
    const double ms = std::ceil(days * kDayMs);
    if (ms >= double(longest))
        return longest;
    return std::max<int64_t>(int64_t(ms), 1);
}

int64_t msUntilTipChanges(const TSettings& settings, double lastRunTime, double now)
{
    if (!settings.Mirroring)
        return -1;
    const double days = fracOf(settings.Interval) + lastRunTime - now;
    const int64_t intoMinute = tipMs(days) % kMinuteMs;
    // Counting down the text changes once the milliseconds of this minute are used up;
    // counting up (past the due time) once the minute is full.
    return days > 0 ? intoMinute + 1 : kMinuteMs - intoMinute;
}

std::string nextRunTip(const TSettings& settings, double lastRunTime, double now)
{
    if (!settings.Mirroring)
        return "Renvo - 手動実行モードです";
    const double days = fracOf(settings.Interval) + lastRunTime - now;
    const int64_t ms = tipMs(days) % kDayMs;
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
    case RunEnd::TopUnavailable:
        parts.push_back("ミラーリング先が見つかりません");
        break;
    default:
        break;
    }
    count(outcome.failedCopies, "複製失敗");
    count(outcome.failedDeletions, "削除失敗");
    count(outcome.unreadableFolders, "読めないフォルダ");
    count(outcome.skippedItems, "除外した項目");
    count(outcome.unavailableItems, "見つからない対象");
    count(outcome.failedHistory, "履歴の失敗");
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
    if ((outcome.end == RunEnd::Failed || outcome.end == RunEnd::TopUnavailable) && !outcome.error.empty())
        text += "\r\n" + outcome.error;
    if (!outcome.logError.empty())
        return text + "\r\nログファイル " + logFile + " に書き込めませんでした: " + outcome.logError;
    return text + "\r\n詳しくはログファイルを見て下さい: " + logFile;
}

}  // namespace renvo
