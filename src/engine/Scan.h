#pragma once
// The directory-walking primitives: folder scan, file scan and the source listing of an item.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Listing.h"
#include "platform/Status.h"

namespace renvo {

struct FoundFile {
    std::string path;
    int32_t stamp = -1;
};

// What a listing met besides the files it lists.
struct ListingNotes {
    std::vector<Status> unreadable;            // folders that could not be read, and why
    std::vector<std::string> specials;         // pipes, sockets and devices matching a mask, once each
    std::vector<std::string> temporaries;      // temporary files of the program's own copies
};

// True for an entry the folder scan enters: a folder that is not hidden, system or a link.
bool isWalkableFolder(uint32_t attr);
// True for an entry the file scan lists: a file or a link, never a folder, pipe, socket or device.
bool isListableFile(uint32_t attr);
// True for a pipe, socket or device: a mirror run names it once and passes it over.
bool isSpecialFile(uint32_t attr);

// Folder F, then (with recurse) every subfolder depth first, a folder before its own
// subfolders and before its next sibling, siblings in name order.
std::vector<std::string> folderScan(const std::string& folder, bool recurse);

// Files of one folder that match the mask, in name order, as full paths with stamps.
void fileScan(const std::string& folder, const std::string& mask, std::vector<FoundFile>& out);

// Source listing of a folder item: for each folder of the folder scan, for each mask in mask
// order, the matching files. A file matched by two masks is listed twice. Each folder is read
// once. Hidden folders below the root are not entered; the root itself may lie in one.
// The program's own temporary files are never listed. What else the walk met is added to
// `notes` when it is given.
// The same listing, compact: paths relative to the root.
Listing listTree(const std::string& root, const std::vector<std::string>& masks, bool recurse,
                 ListingNotes* notes = nullptr);
std::vector<FoundFile> sourceListing(const std::string& root, const std::vector<std::string>& masks,
                                     bool recurse, ListingNotes* notes = nullptr);

}  // namespace renvo
