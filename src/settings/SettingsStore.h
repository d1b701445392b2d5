#pragma once
// The settings record in the registry: one value per field under the program's key.

#include "platform/FileNames.h"
#include "prompt/Prompt.h"
#include "settings/Settings.h"
#include "settings/SettingsTexts.h"

#include <string>

namespace renvo {

// Reads every field, in the stored order. A missing value gives the field's default. A value of
// the wrong type also gives the default, and every such value is named in one error message
// once all fields have been read, so a damaged value never becomes a destructive setting.
// A missing Mirroring value shows the first-run message; a missing LogFile with idle mode 2
// shows the RLF warning. hivePath empty = the user's hive.
TSettings LoadSettings(const std::string& programFolder, Prompt& prompt,
                       const std::string& hivePath = {});

// Writes all nineteen values in the stored order. The first write that fails is reported
// in the error box and ends the save (values written before it stay written); false then.
bool SaveSettings(const TSettings& settings, Prompt& prompt, const std::string& hivePath = {});

}  // namespace renvo
