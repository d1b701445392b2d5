#include "settings/SettingsStore.h"

#include "platform/Bytes.h"
#include "settings/QRegEx.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace renvo {

std::string hiveKeptAsideText(const std::string& hivePath, const std::string& keptAsPath)
{
    return "設定ファイル '" + hivePath + "' を読み取れなかったため，'" + keptAsPath +
           "' に移しました\r\nこのファイルにあった設定は既定値に戻ります";
}

namespace {

constexpr size_t kIdleBlobSize = 8;

void encodeIdleBlob(const TSettings& s, uint8_t blob[kIdleBlobSize])
{
    blob[0] = s.IdleMode;
    std::memcpy(blob + 1, s.IdleReserved.data(), 3);
    encodeDwordLE(static_cast<uint32_t>(s.IdleThreshold), blob + 4);
}

void decodeIdleBlob(const uint8_t blob[kIdleBlobSize], TSettings& s)
{
    s.IdleMode = blob[0];
    std::memcpy(s.IdleReserved.data(), blob + 1, 3);
    s.IdleThreshold = static_cast<int32_t>(decodeDwordLE(blob + 4));
}

void tellHiveNotice(Prompt& prompt)
{
    if (std::optional<HiveNotice> n = TRegistry::takeCorruptHiveNotice())
        prompt.tell(kHiveKeptAsideCaption, hiveKeptAsideText(n->hivePath, n->keptAsPath), PromptIcon::Warning);
}

enum class Got { missing, read, bad };

// The reads of one load. A damaged value is noted for the closing error message and the field
// keeps the default it already holds, because the reads assign only on success.
class FieldReader {
public:
    FieldReader(TQRegEx& reg, TSettings& s, const TSettings& def) : reg_(reg), s_(s), def_(def) {}

    Got str(const char* name, std::string TSettings::*field)
    {
        return guard([&] { return reg_.ReadStringDef(name, s_.*field, def_.*field); });
    }
    Got boolean(const char* name, bool TSettings::*field)
    {
        return guard([&] { return reg_.ReadBoolDef(name, s_.*field, def_.*field); });
    }
    Got integer(const char* name, int32_t TSettings::*field)
    {
        return guard([&] { return reg_.ReadIntegerDef(name, s_.*field, def_.*field); });
    }
    Got time(const char* name, double TSettings::*field)
    {
        return guard([&] { return reg_.ReadTimeDef(name, s_.*field, def_.*field); });
    }
    Got binary(const char* name, void* buffer, size_t size)
    {
        return guard([&] { return reg_.ReadBinaryDef(name, buffer, size); });
    }

    bool failed() const { return !errors_.empty(); }
    std::string message() const
    {
        std::string text;
        for (const std::string& e : errors_)
            text += (text.empty() ? "" : "\r\n") + e;
        return text;
    }

private:
    template <typename Read>
    Got guard(Read&& read)
    {
        try {
            return read() ? Got::read : Got::missing;
        } catch (const ERegistryException& e) {
            errors_.push_back(e.what());
            return Got::bad;
        }
    }

    TQRegEx& reg_;
    TSettings& s_;
    const TSettings& def_;
    std::vector<std::string> errors_;
};

}  // namespace

TSettings LoadSettings(const std::string& programFolder, Prompt& prompt,
                       const std::string& hivePath)
{
    // Every field starts at its default, so one that cannot be read keeps the default rather
    // than a zero (LimitHistory 0 would erase every history generation).
    const TSettings def = defaultSettings(programFolder);
    TSettings s = def;

    TQRegEx reg(hivePath);
    reg.OpenKey(kSettingsKey, true);  // a key that cannot be opened reads as all missing
    tellHiveNotice(prompt);
    FieldReader f(reg, s, def);

    f.str("MirTopFolder", &TSettings::MirTopFolder);
    // A Mirroring value of the wrong type exists: that is no first run.
    if (f.boolean("Mirroring", &TSettings::Mirroring) == Got::missing)
        prompt.tell(kFirstRunCaption, kFirstRunText, PromptIcon::Information);
    f.time("Interval", &TSettings::Interval);
    f.boolean("MirOnStart", &TSettings::MirOnStart);
    f.boolean("DelOnNotExists", &TSettings::DelOnNotExists);
    f.boolean("DelFilesOnDelItem", &TSettings::DelFilesOnDelItem);
    f.boolean("QueryDelFiles", &TSettings::QueryDelFiles);
    f.boolean("ShowProgressDialog", &TSettings::ShowProgressDialog);
    f.time("Postpone", &TSettings::Postpone);

    // A shorter blob replaces only its own bytes; the rest keeps the default (threshold 30),
    // since a threshold of 0 would keep every idle test from passing.
    uint8_t idle[kIdleBlobSize];
    encodeIdleBlob(def, idle);
    if (f.binary("IdleOption", idle, sizeof idle) == Got::read)
        decodeIdleBlob(idle, s);

    uint8_t folderOption = def.FolderOption;
    if (f.binary("FolderOption", &folderOption, 1) == Got::read)
        s.FolderOption = folderOption;

    f.integer("TaskPriority", &TSettings::TaskPriority);
    f.integer("LimitHistory", &TSettings::LimitHistory);
    f.integer("EveryTimes", &TSettings::EveryTimes);
    f.integer("ProgressPosition", &TSettings::ProgressPosition);
    f.integer("DoneStandard", &TSettings::DoneStandard);

    // A key without LogFile in idle mode 2 was written by a version whose RLF figure had
    // another scale.
    if (f.str("LogFile", &TSettings::LogFile) == Got::missing && s.IdleMode == 2)
        prompt.tell(kRlfWarningCaption, kRlfWarningText, PromptIcon::Warning);

    f.boolean("KeepLogFile", &TSettings::KeepLogFile);
    f.boolean("LogAppend", &TSettings::LogAppend);

    tellHiveNotice(prompt);
    if (f.failed())
        prompt.tell(kErrorDialogCaption, f.message(), PromptIcon::Error);
    return s;
}

bool SaveSettings(const TSettings& s, Prompt& prompt, const std::string& hivePath)
{
    TQRegEx reg(hivePath);
    reg.OpenKey(kSettingsKey, true);  // when it fails, the first write reports it
    tellHiveNotice(prompt);
    try {
        reg.StoreString("MirTopFolder", s.MirTopFolder);
        reg.StoreBool("Mirroring", s.Mirroring);
        reg.StoreTime("Interval", s.Interval);
        reg.StoreBool("MirOnStart", s.MirOnStart);
        uint8_t idle[kIdleBlobSize];
        encodeIdleBlob(s, idle);
        reg.StoreBinary("IdleOption", idle, sizeof idle);
        reg.StoreBool("DelOnNotExists", s.DelOnNotExists);
        reg.StoreBool("DelFilesOnDelItem", s.DelFilesOnDelItem);
        reg.StoreBool("QueryDelFiles", s.QueryDelFiles);
        reg.StoreBool("ShowProgressDialog", s.ShowProgressDialog);
        reg.StoreTime("Postpone", s.Postpone);
        reg.StoreBinary("FolderOption", &s.FolderOption, 1);
        reg.StoreInteger("TaskPriority", s.TaskPriority);
        reg.StoreInteger("LimitHistory", s.LimitHistory);
        reg.StoreInteger("EveryTimes", s.EveryTimes);
        reg.StoreInteger("ProgressPosition", s.ProgressPosition);
        reg.StoreInteger("DoneStandard", s.DoneStandard);
        reg.StoreString("LogFile", s.LogFile);
        reg.StoreBool("KeepLogFile", s.KeepLogFile);
        reg.StoreBool("LogAppend", s.LogAppend);
    } catch (const ERegistryException& e) {
        tellHiveNotice(prompt);
        prompt.tell(kErrorDialogCaption, e.what(), PromptIcon::Error);
        return false;
    }
    tellHiveNotice(prompt);
    return true;
}

}  // namespace renvo
