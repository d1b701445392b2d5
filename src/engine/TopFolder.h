#pragma once
// Whether a run may write into the mirroring top folder.
//
// A backup drive that is not mounted leaves an empty mount point (or no folder at all): a run
// that wrote there would put a whole mirror on the system disk and hide it under the drive
// once it comes back. So a top folder carries a small marker file, and the program folder
// remembers the top folders its runs have written into: a remembered top folder without its
// marker and without Latest is a drive that is not there, never a place to write.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace renvo {

// The marker file directly in the top folder.
inline constexpr char kTopMarkerName[] = ".renvo-top";

enum class TopFolderState {
    Ready,       // holds the marker or Latest
    New,         // never written by a run of this program folder: a run may create it
    Missing,     // written before and gone: the drive is not mounted (or the folder was removed)
    LostMirror,  // written before, there, but without marker and Latest: an empty mount point
};

TopFolderState topFolderState(const std::string& programFolder, const std::string& top);

// Makes a top folder that is Ready or New ready for a run: creates it, puts the marker in,
// and remembers it in the program folder; a failure names the marker or the remembered list.
// For the holder of the program folder's run lock (it removes what a killed run left).
Status claimTopFolder(const std::string& programFolder, const std::string& top);

// The user erased the mirror on purpose: the top folder counts as never used.
void forgetTopFolder(const std::string& programFolder, const std::string& top);

// The item folders that runs have seen as mount points (a drive's own folder): such a folder
// that is gone was unplugged, not deleted, and its item stays on the list.
std::vector<std::string> mountPointsSeen(const std::string& programFolder);
// Adds these to the ones remembered. 0 or errno.
int rememberMountPoints(const std::string& programFolder, const std::vector<std::string>& addresses);

// True for the names of what runs make directly in a top folder: Latest, the generation
// folders, the marker and the history step's own work folders. Everything else there is the
// user's.
bool isMirrorEntry(std::string_view name);

}  // namespace renvo
