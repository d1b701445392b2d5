#pragma once
// The names of the program's own files in its program folder, and its settings key: the
// engine, the settings, the uninstaller and the tests all take them from here.

#include <array>

namespace renvo {

inline constexpr char kListFileName[] = "_rvffl2";      // the item list
inline constexpr char kUpdateFileName[] = "_update";    // files changed since the last complete run
inline constexpr char kTableFileName[] = "Renvo.ctf";   // cached listings of table-mode folders
inline constexpr char kUsedTopsFileName[] = "_rvtops";  // the top folders runs have written into
inline constexpr char kMountPointsFileName[] = "_rvmounts";  // item folders seen as mount points
inline constexpr char kRunLockFileName[] = "_rvlock";   // one run at a time per program folder
inline constexpr char kLogFileName[] = "logfile.txt";   // the default log
inline constexpr char kTopFolderName[] = "Mirrored Files";  // the default mirroring top folder

// The registry key of the settings, below HKEY_CURRENT_USER.
inline constexpr char kSettingsKey[] = "\\Software\\Tovan\\Renvo";

// The files the installation puts into the program folder, in the order the uninstaller
// removes them. A file added at install time must be added here, or the uninstaller leaves
// it behind. Files the program makes later (the top folder, the log, the lock) are not listed
// on purpose.
inline constexpr std::array<const char*, 7> kProgramFiles = {
    "Renvo",          // the main program
    kListFileName,
    kUpdateFileName,
    kTableFileName,
    kUsedTopsFileName,
    kMountPointsFileName,
    "renvo-run",      // the headless one-run command installed beside Renvo
};

}  // namespace renvo
