#include "settings/SettingsStore.h"

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
    const auto t = static_cast<uint32_t>(s.IdleThreshold);
    for (int i = 0; i < 4; ++i)
        blob[4 + i] = uint8_t(t >> (8 * i));
}

void decodeIdleBlob(const uint8_t blob[kIdleBlobSize], TSettings& s)
{
    s.IdleMode = blob[0];
    std::memcpy(s.IdleReserved.data(), blob + 1, 3);
    uint32_t t = 0;
    for (int i = 0; i < 4; ++i)
        t |= uint32_t(blob[4 + i]) << (8 * i);
    s.IdleThreshold = static_cast<int32_t>(t);
}

void tellHiveNotice(SettingsUi& ui)
{
    if (std::optional<HiveNotice> n = TRegistry::takeCorruptHiveNotice())
        ui.hiveKeptAside(kHiveKeptAsideCaption, hiveKeptAsideText(n->hivePath, n->keptAsPath));
}

enum class Got { missing, read, bad };

// Runs one read. A damaged value is noted for the closing error message; the field keeps the
// default it already holds, because the reads assign only on success.
class FieldReader {
public:
    explicit FieldReader(TQRegEx& reg) : reg_(reg) {}

    template <typename Read>
    Got read(Read&& op)
    {
        try {
            return op(reg_) ? Got::read : Got::missing;
        } catch (const ERegistryException& e) {
            errors_.push_back(e.what());
            return Got::bad;
        }
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
    TQRegEx& reg_;
    std::vector<std::string> errors_;
};

}  // namespace

TSettings LoadSettings(const std::string& programFolder, SettingsUi& ui,
                       const std::string& hivePath)
{
    // Every field starts at its default, so one that cannot be read keeps the default rather
    // than a zero (LimitHistory 0 would erase every history generation).
    const TSettings def = defaultSettings(programFolder);
    TSettings s = def;

    TQRegEx reg(hivePath);
    reg.OpenKey(kSettingsKey, true);  // a key that cannot be opened reads as all missing
    tellHiveNotice(ui);
    FieldReader f(reg);

    f.read([&](TQRegEx& r) { return r.ReadStringDef("MirTopFolder", s.MirTopFolder, def.MirTopFolder); });

    // A Mirroring value of the wrong type exists: that is no first run.
    if (f.read([&](TQRegEx& r) { return r.ReadBoolDef("Mirroring", s.Mirroring, def.Mirroring); }) ==
        Got::missing)
        ui.firstRunMessage(kFirstRunCaption, kFirstRunText);

    f.read([&](TQRegEx& r) { return r.ReadTimeDef("Interval", s.Interval, def.Interval); });
    f.read([&](TQRegEx& r) { return r.ReadBoolDef("MirOnStart", s.MirOnStart, def.MirOnStart); });
    f.read([&](TQRegEx& r) { return r.ReadBoolDef("DelOnNotExists", s.DelOnNotExists, def.DelOnNotExists); });
    f.read([&](TQRegEx& r) { return r.ReadBoolDef("DelFilesOnDelItem", s.DelFilesOnDelItem, def.DelFilesOnDelItem); });
    f.read([&](TQRegEx& r) { return r.ReadBoolDef("QueryDelFiles", s.QueryDelFiles, def.QueryDelFiles); });
    f.read([&](TQRegEx& r) { return r.ReadBoolDef("ShowProgressDialog", s.ShowProgressDialog, def.ShowProgressDialog); });
    f.read([&](TQRegEx& r) { return r.ReadTimeDef("Postpone", s.Postpone, def.Postpone); });

    // A shorter blob replaces only its own bytes; the rest keeps the default (threshold 30),
    // since a threshold of 0 would keep every idle test from passing.
    uint8_t idle[kIdleBlobSize];
    encodeIdleBlob(def, idle);
    if (f.read([&](TQRegEx& r) { return r.ReadBinaryDef("IdleOption", idle, sizeof idle); }) ==
        Got::read)
        decodeIdleBlob(idle, s);

    uint8_t folderOption = def.FolderOption;
    if (f.read([&](TQRegEx& r) { return r.ReadBinaryDef("FolderOption", &folderOption, 1); }) ==
        Got::read)
        s.FolderOption = folderOption;

    f.read([&](TQRegEx& r) { return r.ReadIntegerDef("TaskPriority", s.TaskPriority, def.TaskPriority); });
    f.read([&](TQRegEx& r) { return r.ReadIntegerDef("LimitHistory", s.LimitHistory, def.LimitHistory); });
    f.read([&](TQRegEx& r) { return r.ReadIntegerDef("EveryTimes", s.EveryTimes, def.EveryTimes); });
    f.read([&](TQRegEx& r) { return r.ReadIntegerDef("ProgressPosition", s.ProgressPosition, def.ProgressPosition); });
    f.read([&](TQRegEx& r) { return r.ReadIntegerDef("DoneStandard", s.DoneStandard, def.DoneStandard); });

    // A key with Mirroring but without LogFile, in idle mode 2, was written by a version whose
    // RLF figure had another scale.
    if (f.read([&](TQRegEx& r) { return r.ReadStringDef("LogFile", s.LogFile, def.LogFile); }) ==
            Got::missing &&
        s.IdleMode == 2)
        ui.rlfWarning(kRlfWarningCaption, kRlfWarningText);

    f.read([&](TQRegEx& r) { return r.ReadBoolDef("KeepLogFile", s.KeepLogFile, def.KeepLogFile); });
    f.read([&](TQRegEx& r) { return r.ReadBoolDef("LogAppend", s.LogAppend, def.LogAppend); });

    tellHiveNotice(ui);
    if (f.failed())
        ui.errorMessage(f.message());
    return s;
}

bool SaveSettings(const TSettings& s, SettingsUi& ui, const std::string& hivePath)
{
    TQRegEx reg(hivePath);
    reg.OpenKey(kSettingsKey, true);  // when it fails, the first write reports it
    tellHiveNotice(ui);
    try {
        reg.WriteString("MirTopFolder", s.MirTopFolder);
        reg.WriteBool("Mirroring", s.Mirroring);
        reg.WriteTime("Interval", s.Interval);
        reg.WriteBool("MirOnStart", s.MirOnStart);
        uint8_t idle[kIdleBlobSize];
        encodeIdleBlob(s, idle);
        reg.WriteBinaryData("IdleOption", idle, sizeof idle);
        reg.WriteBool("DelOnNotExists", s.DelOnNotExists);
        reg.WriteBool("DelFilesOnDelItem", s.DelFilesOnDelItem);
        reg.WriteBool("QueryDelFiles", s.QueryDelFiles);
        reg.WriteBool("ShowProgressDialog", s.ShowProgressDialog);
        reg.WriteTime("Postpone", s.Postpone);
        reg.WriteBinaryData("FolderOption", &s.FolderOption, 1);
        reg.WriteInteger("TaskPriority", s.TaskPriority);
        reg.WriteInteger("LimitHistory", s.LimitHistory);
        reg.WriteInteger("EveryTimes", s.EveryTimes);
        reg.WriteInteger("ProgressPosition", s.ProgressPosition);
        reg.WriteInteger("DoneStandard", s.DoneStandard);
        reg.WriteString("LogFile", s.LogFile);
        reg.WriteBool("KeepLogFile", s.KeepLogFile);
        reg.WriteBool("LogAppend", s.LogAppend);
    } catch (const ERegistryException& e) {
        tellHiveNotice(ui);
        ui.errorMessage(e.what());
        return false;
    }
    tellHiveNotice(ui);
    return true;
}

}  // namespace renvo
