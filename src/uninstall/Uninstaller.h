#pragma once
// The uninstaller's steps: three questions, the program's files, the settings key, a closing
// message. Nothing is reported as failed; whatever cannot be removed stays.

#include <string>

#include "platform/Program.h"
#include "prompt/Prompt.h"

namespace renvo {

// Where the uninstaller looks, both with a trailing delimiter.
struct UninstallFolders {
    std::string programFolder;     // the data files: the program folder of the one rule
    std::string executableFolder;  // the executables, beside the uninstaller
    // The executables belong to the package manager (their folder is not the user's to
    // write): they are left to it, and the start question says so.
    bool packaged = false;
};

// The folders for these inputs. The per-user folder is never made here.
UninstallFolders uninstallFoldersFor(const ProgramFolderInputs& in);

// hivePath: the registry hive holding the settings key.
void runUninstall(Prompt& prompt, const UninstallFolders& folders, const std::string& hivePath);

// Removes the listed files by exact name, in the list's order: the data files from the
// program folder, the executables from their own folder unless packaged. A folder of such a
// name, a missing file or a read-only one stays; a symbolic link is removed itself, its
// target never.
void deleteProgramFiles(const UninstallFolders& folders);

// Removes \Software\Tovan\Renvo with all its subkeys, deepest first; its parents stay.
void deleteSettingsKey(const std::string& hivePath);

}  // namespace renvo
