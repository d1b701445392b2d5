#pragma once
// The settings record in the registry: one value per field under the program's key.
//
// The tray program and renvo-run share the key, and each keeps its own record for a while (the
// tray program from its start to its exit). So a program writes only what it changed, into the
// key as it is at that moment, and takes up what the other one changed.

#include "platform/FileNames.h"
#include "platform/Registry.h"
#include "prompt/Prompt.h"
#include "settings/Settings.h"
#include "settings/SettingsTexts.h"
#include "settings/SettingsValues.h"

#include <array>
#include <optional>
#include <string>

namespace renvo {

// The values of the settings key as stored, in the order of settingsValues(); nullopt = missing.
using StoredSettings = std::array<std::optional<RegValue>, kSettingsValueCount>;

// One program's record and the key: what the program last read from it or wrote to it, value by
// value, tells the values this program changed from those another program changed.
class SettingsStore {
public:
    // programFolder ends with the path delimiter (the defaults lie in it); hivePath empty = the
    // user's hive.
    explicit SettingsStore(std::string programFolder, std::string hivePath = {});

    // Reads every field, in the stored order. A missing value gives the field's default. A
    // value of the wrong type also gives the default, and every such value is named in one
    // error message once all fields have been read, so a damaged value never becomes a
    // destructive setting. A missing Mirroring value shows the first-run message; a missing
    // LogFile with idle mode 2 shows the RLF warning. The key is created when missing.
    TSettings load(Prompt& prompt);

    // Takes up what another program stored since this one last read or wrote the key: every
    // value that this program has not changed since then comes from the key as it is now (a
    // value missing there or of the wrong type stays as it is); the values it changed stay.
    // Nothing happens before the first load or save, or when the hive cannot be read.
    void refresh(TSettings& settings, Prompt& prompt);

    // Writes the values this program changed, into the key as it is now, in one replacement of
    // the hive file: a value that only another program changed meanwhile is taken up into
    // `settings` instead of being written over. A value the key lacks or holds in another form
    // is written as well, so that after a save the key holds all nineteen in their own
    // encodings. Before the first load or save every value counts as changed. When the hive
    // cannot be written, the error box names the first value to be written, the file stays as
    // it was and the result is false.
    bool save(TSettings& settings, Prompt& prompt);

private:
    struct Seen {
        TSettings values;      // the record as it was then
        StoredSettings stored;  // the key as it was then
    };

    std::string programFolder_;
    std::string hivePath_;
    std::optional<Seen> seen_;
};

// A load without a store: the record as the key holds it (SettingsStore::load).
TSettings LoadSettings(const std::string& programFolder, Prompt& prompt, const std::string& hivePath = {});

// A save without a store, as a program that never read the key: writes every value that the
// key does not already hold in this form.
bool SaveSettings(const TSettings& settings, Prompt& prompt, const std::string& hivePath = {});

}  // namespace renvo
