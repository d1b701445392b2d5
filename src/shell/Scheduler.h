#pragma once
// The scheduler's decisions, apart from its timer: when a run is due, how a busy machine moves
// it, and what the tray icon's tooltip says about the next and the last run.

#include <cstdint>
#include <string>

#include "engine/MirThread.h"
#include "settings/Settings.h"

namespace renvo {

// A run is due when auto mode is on and the due time (last-run time + the fraction of
// Interval) is not later than now.
bool runDue(const TSettings& settings, double lastRunTime, double now);

// The last-run time after a due run found the machine busy: moved by the fraction of
// Postpone, not to now + Postpone, so after a long busy spell the due time may still be past.
double postponedRunTime(const TSettings& settings, double lastRunTime);

// How long the scheduler may sleep before it must look again, in milliseconds: the time left
// until the due time in auto mode (at least 1), 0 once the due time has come, and `longest`
// in manual mode or when the due time lies further ahead.
int64_t msUntilDue(const TSettings& settings, double lastRunTime, double now, int64_t longest);

// How long the next-run tooltip keeps its text, in milliseconds: until the countdown (or the
// time since a past due time) reaches its next whole minute. -1 in manual mode, whose text
// does not change with time.
int64_t msUntilTipChanges(const TSettings& settings, double lastRunTime, double now);

// "Renvo - 次回予定 H 時間 M 分後" in auto mode (a past due time shows the time since it),
// "Renvo - 手動実行モードです" otherwise.
std::string nextRunTip(const TSettings& settings, double lastRunTime, double now);

// The line below the next-run text that names how the last run ended: empty for a run that
// did all it was due to do, otherwise for example "前回: 複製失敗 3 件".
std::string lastRunLine(const RunOutcome& outcome);

// The desktop notification for a run that did not do all it was due to do: what failed, how
// often, and which log to read. Empty for a run that did.
std::string runFailureNotice(const RunOutcome& outcome, const std::string& logFile);

}  // namespace renvo
