#pragma once
// Where the program keeps its own files, and small process-level services.

#include <functional>
#include <string>

namespace renvo {

// What decides the program folder. Empty strings stand for unset variables.
struct ProgramFolderInputs {
    std::string renvoHome;         // $RENVO_HOME
    std::string executableFolder;  // the running executable's folder, trailing delimiter
    std::string xdgDataHome;       // $XDG_DATA_HOME
    std::string home;              // $HOME
    std::string passwordHome;      // the home folder of the user's password entry
    // True when the user may create files in the folder.
    std::function<bool(const std::string& folder)> canWrite;
};

// The program folder, with a trailing delimiter: $RENVO_HOME when not empty; else the
// executable's folder when the user can write to it (a portable copy); else the per-user
// folder ${XDG_DATA_HOME:-~/.local/share}/Renvo. A relative XDG_DATA_HOME is ignored, and so
// is a relative HOME, which then gives way to the password entry. Nothing is made on disk.
std::string programFolderFor(const ProgramFolderInputs& in);

// Like programFolderFor, and makes the per-user folder when that is the answer: its missing
// levels mode 0700. A folder that cannot be made is returned all the same; the first file
// written into it reports the error.
std::string resolveProgramFolder(const ProgramFolderInputs& in);

// The inputs of this process: its environment, its executable and userCanWriteFolder.
ProgramFolderInputs currentProgramFolderInputs();

// resolveProgramFolder over this process's inputs: the folder of Renvo and renvo-run.
// Uninstrv applies the same rule through programFolderFor, so that it makes nothing.
std::string programFolder();

// The folder of the running executable, with a trailing delimiter.
std::string executableFolder();

// Whether the user may create and delete files in the folder by its permissions: the check
// uses the effective ids and capabilities, and for root the mode bits must grant it too, so
// that a root-owned 0555 folder stays read-only to root as to anyone.
bool userCanWriteFolder(const std::string& folder);

// The home folder of the password entry of the real user; empty when there is none.
std::string passwordHomeFolder();
// The user's home folder: $HOME when it is absolute, else passwordHomeFolder() (a session
// started by a service manager may have no HOME). Empty when neither gives one.
std::string homeFolder();

// Whether the standard error stream goes to a terminal.
bool stderrIsTerminal();

// Runs the calling thread at the priority of a TaskPriority value: 0 highest .. 4 lowest,
// 5 idle; other values leave it alone. A priority the user may not raise to is left as is.
void applyTaskPriority(int taskPriority);

}  // namespace renvo
