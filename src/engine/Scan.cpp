#include "engine/Scan.h"

#include "engine/Masks.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <algorithm>

namespace renvo {

bool isWalkableFolder(uint32_t attr)
{
    return (attr & faDirectory) && !(attr & (faHidden | faSysFile | faVolumeID | faReparsePoint));
}

bool isListableFile(uint32_t attr)
{
    return !(attr & (faDirectory | faDevice));
}

bool isSpecialFile(uint32_t attr)
{
    return (attr & faDevice) != 0 && !(attr & faDirectory);
}

namespace {

// Depth-first walk in the folder scan's order; `visit` gets each folder's full path, its path
// relative to the root ("" for the root) and its entries. One entry buffer serves every folder.
template <typename Visit>
void walk(const std::string& root, bool recurse, bool withStamps, Visit visit,
          std::vector<Status>* unreadable = nullptr)
{
    std::vector<std::string> pending{std::string()};
    std::vector<DirEntry> entries;
    std::string folder;
    while (!pending.empty()) {
        const std::string rel = std::move(pending.back());
        pending.pop_back();
        folder = rel.empty() ? root : joinPath(root, rel);
        if (const Status read = readDirectoryInto(folder, withStamps, entries); !read && unreadable)
            unreadable->push_back(read);
        if (recurse) {
            const size_t mark = pending.size();
            for (const DirEntry& e : entries) {
                if (!isWalkableFolder(e.attr))
                    continue;
                pending.push_back(rel.empty() ? e.name : joinPath(rel, e.name));
            }
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(mark), pending.end());
        }
        visit(folder, rel, entries);
    }
}

}  // namespace

std::vector<std::string> folderScan(const std::string& folder, bool recurse)
{
    std::vector<std::string> out;
    walk(folder, recurse, false,
         [&](const std::string& f, const std::string&, const std::vector<DirEntry>&) { out.push_back(f); });
    return out;
}

void fileScan(const std::string& folder, const std::string& mask, std::vector<FoundFile>& out)
{
    for (const DirEntry& e : readDirectory(folder, true)) {
        if (isListableFile(e.attr) && matchMask(mask, e.name))
            out.push_back({joinPath(folder, e.name), e.stamp});
    }
}

Listing listTree(const std::string& root, const std::vector<std::string>& masks, bool recurse, ListingNotes* notes)
{
    Listing out;
    walk(root, recurse, true, [&](const std::string& folder, const std::string& rel, const std::vector<DirEntry>& entries) {
        const uint32_t index = out.addFolder(rel);
        for (const std::string& mask : masks) {
            for (const DirEntry& e : entries) {
                if (isListableFile(e.attr) && matchMask(mask, e.name) && !isTemporaryName(e.name))
                    out.addFile(index, e.name, e.stamp);
            }
        }
        if (!notes)
            return;
        for (const DirEntry& e : entries) {
            if (isSpecialFile(e.attr) &&
                std::any_of(masks.begin(), masks.end(), [&](const std::string& m) { return matchMask(m, e.name); }))
                notes->specials.push_back(joinPath(folder, e.name));
            else if (isListableFile(e.attr) && isTemporaryName(e.name))
                notes->temporaries.push_back(joinPath(folder, e.name));
        }
    }, notes ? &notes->unreadable : nullptr);
    return out;
}

std::vector<FoundFile> sourceListing(const std::string& root, const std::vector<std::string>& masks, bool recurse,
                                     ListingNotes* notes)
{
    const Listing listing = listTree(root, masks, recurse, notes);
    std::vector<FoundFile> out;
    out.reserve(listing.size());
    for (size_t i = 0; i < listing.size(); ++i)
        out.push_back({listing.path(root, i), listing[i].stamp});
    return out;
}

}  // namespace renvo
