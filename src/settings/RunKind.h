#pragma once
// Which kind of run the run starter begins.

#include "settings/Settings.h"

namespace renvo {

// True for a complete run: when one was requested or DoneStandard has reached EveryTimes;
// DoneStandard then restarts at 0. Otherwise a standard run, counted in DoneStandard.
// The counter reaches the registry only with the next SaveSettings.
bool chooseCompleteRun(TSettings& settings, bool completeRequested);

}  // namespace renvo
