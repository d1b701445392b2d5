#pragma once
// Where the settings and the engine meet: what a host of a run takes from the settings record.

#include "engine/MirrorHost.h"
#include "settings/Settings.h"

namespace renvo {

// The settings a run copies at its start, and its kind.
MirrorSnapshot snapshotOf(const TSettings& settings, bool standardRun);

}  // namespace renvo
