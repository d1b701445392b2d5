#pragma once
// The settings record: every global option of the program, one registry value per field.

#include <array>
#include <cstdint>
#include <string>

namespace renvo {

// Spans of time are fractions of a day (30 minutes = 30/1440).
constexpr double kMinute = 1.0 / 1440.0;
// Whole minutes as a span, rounded once: 30 * kMinute is one unit in the last place off
// 30/1440, and the stored bytes would differ from those any other writer produces.
constexpr double minutesSpan(int minutes) { return minutes / 1440.0; }

struct TSettings {
    std::string MirTopFolder;
    bool Mirroring = false;
    double Interval = 0;
    bool MirOnStart = false;
    // IdleOption blob: mode (byte 0), three reserved bytes kept as read, threshold (bytes 4..7).
    uint8_t IdleMode = 0;
    std::array<uint8_t, 3> IdleReserved{};
    int32_t IdleThreshold = 0;
    bool DelOnNotExists = false;
    bool DelFilesOnDelItem = false;
    bool QueryDelFiles = false;
    bool ShowProgressDialog = false;
    double Postpone = 0;
    uint8_t FolderOption = 0;
    int32_t TaskPriority = 0;
    int32_t LimitHistory = 0;
    int32_t EveryTimes = 0;
    int32_t ProgressPosition = 0;
    int32_t DoneStandard = 0;
    std::string LogFile;
    bool KeepLogFile = false;
    bool LogAppend = false;

    bool operator==(const TSettings&) const = default;
};

// The record as a first run has it. programFolder ends with the path delimiter.
TSettings defaultSettings(const std::string& programFolder);

}  // namespace renvo
