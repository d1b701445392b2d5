#pragma once
// The files the installation puts into the program folder, in the order they are removed.
// A file added to the program folder at install time must be added here as well, or the
// uninstaller leaves it behind. Files the program makes later (the mirroring top folder, the
// log, the list file's temporary copy) are not listed on purpose.

#include <array>

namespace renvo {

inline constexpr std::array<const char*, 5> kProgramFiles = {
    "Renvo",      // the main program
    "_rvffl2",    // the item list file
    "_update",    // the update list
    "Renvo.ctf",  // the table file
    "renvo-run",  // the headless one-run command installed beside Renvo
};

}  // namespace renvo
