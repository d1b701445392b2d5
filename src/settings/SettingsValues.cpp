#include "settings/SettingsValues.h"

#include "platform/Bytes.h"
#include "settings/QRegEx.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace renvo {

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

template <std::string TSettings::*F>
SettingsValue stringField(const char* name)
{
    return {name, [](const TSettings& s) { return stringValue(s.*F); },
            [](const char* n, const std::optional<RegValue>& v, TSettings& s, const TSettings& d) {
                return readStringValue(n, v, s.*F, d.*F);
            }};
}

template <bool TSettings::*F>
SettingsValue boolField(const char* name)
{
    return {name, [](const TSettings& s) { return boolValue(s.*F); },
            [](const char* n, const std::optional<RegValue>& v, TSettings& s, const TSettings& d) {
                return readBoolValue(n, v, s.*F, d.*F);
            }};
}

template <int32_t TSettings::*F>
SettingsValue integerField(const char* name)
{
    return {name, [](const TSettings& s) { return integerValue(s.*F); },
            [](const char* n, const std::optional<RegValue>& v, TSettings& s, const TSettings& d) {
                return readIntegerValue(n, v, s.*F, d.*F);
            }};
}

template <double TSettings::*F>
SettingsValue timeField(const char* name)
{
    return {name, [](const TSettings& s) { return timeValue(s.*F); },
            [](const char* n, const std::optional<RegValue>& v, TSettings& s, const TSettings& d) {
                return readTimeValue(n, v, s.*F, d.*F);
            }};
}

// Idle mode, the three reserved bytes and the threshold in one 8-byte blob. A shorter blob
// replaces only its own bytes of the default: a threshold of 0 would keep every idle test
// from passing.
SettingsValue idleOption()
{
    return {"IdleOption",
            [](const TSettings& s) {
                uint8_t blob[kIdleBlobSize];
                encodeIdleBlob(s, blob);
                return binaryValue(blob, sizeof blob);
            },
            [](const char* n, const std::optional<RegValue>& v, TSettings& s, const TSettings& d) {
                uint8_t blob[kIdleBlobSize];
                encodeIdleBlob(d, blob);
                const bool present = readBinaryValue(n, v, blob, sizeof blob).has_value();
                decodeIdleBlob(blob, s);
                return present;
            }};
}

// One byte, not a DWORD.
SettingsValue folderOption()
{
    return {"FolderOption", [](const TSettings& s) { return binaryValue(&s.FolderOption, 1); },
            [](const char* n, const std::optional<RegValue>& v, TSettings& s, const TSettings& d) {
                uint8_t byte = d.FolderOption;
                const bool present = readBinaryValue(n, v, &byte, 1).has_value();
                s.FolderOption = byte;
                return present;
            }};
}

}  // namespace

const std::array<SettingsValue, kSettingsValueCount>& settingsValues()
{
    static const std::array<SettingsValue, kSettingsValueCount> values{
        stringField<&TSettings::MirTopFolder>("MirTopFolder"),
        boolField<&TSettings::Mirroring>("Mirroring"),
        timeField<&TSettings::Interval>("Interval"),
        boolField<&TSettings::MirOnStart>("MirOnStart"),
        idleOption(),
        boolField<&TSettings::DelOnNotExists>("DelOnNotExists"),
        boolField<&TSettings::DelFilesOnDelItem>("DelFilesOnDelItem"),
        boolField<&TSettings::QueryDelFiles>("QueryDelFiles"),
        boolField<&TSettings::ShowProgressDialog>("ShowProgressDialog"),
        timeField<&TSettings::Postpone>("Postpone"),
        folderOption(),
        integerField<&TSettings::TaskPriority>("TaskPriority"),
        integerField<&TSettings::LimitHistory>("LimitHistory"),
        integerField<&TSettings::EveryTimes>("EveryTimes"),
        integerField<&TSettings::ProgressPosition>("ProgressPosition"),
        integerField<&TSettings::DoneStandard>("DoneStandard"),
        stringField<&TSettings::LogFile>("LogFile"),
        boolField<&TSettings::KeepLogFile>("KeepLogFile"),
        boolField<&TSettings::LogAppend>("LogAppend"),
    };
    return values;
}

}  // namespace renvo
