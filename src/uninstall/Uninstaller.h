#pragma once
// The uninstaller's steps: three questions, the program's files, the settings key, a closing
// message. Nothing is reported as failed; whatever cannot be removed stays.

#include <string>

#include "prompt/Prompt.h"

namespace renvo {

// programFolder: the folder whose program files are removed (the uninstaller's own folder).
// hivePath: the registry hive holding the settings key.
void runUninstall(Prompt& prompt, const std::string& programFolder, const std::string& hivePath);

// Removes the listed files from the folder, by exact name. A folder of such a name, a missing
// file or a read-only one stays; a symbolic link is removed itself, its target never.
void deleteProgramFiles(const std::string& programFolder);

// Removes \Software\Tovan\Renvo with all its subkeys, deepest first; its parents stay.
void deleteSettingsKey(const std::string& hivePath);

}  // namespace renvo
