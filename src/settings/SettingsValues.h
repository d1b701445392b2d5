#pragma once
// The nineteen values of the settings record as the settings key stores them, in the order in
// which they are written: each value's name, its stored form and how it is read back.

#include "platform/Registry.h"
#include "settings/Settings.h"

#include <array>
#include <cstddef>
#include <optional>

namespace renvo {

struct SettingsValue {
    const char* name;
    RegValue (*encode)(const TSettings& settings);
    // Sets the value's fields from the stored value, or from def when it is missing; true when
    // it was there. A value of the wrong type raises ERegistryException and changes nothing.
    bool (*decode)(const char* name, const std::optional<RegValue>& stored, TSettings& settings,
                   const TSettings& def);
};

inline constexpr size_t kSettingsValueCount = 19;

const std::array<SettingsValue, kSettingsValueCount>& settingsValues();

}  // namespace renvo
