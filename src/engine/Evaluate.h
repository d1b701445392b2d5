#pragma once
// Evaluation of one mirror item: which files to copy, which mirrored files lost their source,
// and whether the item itself has vanished. Nothing is copied or deleted here.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "engine/ListFile.h"
#include "engine/MirrorHost.h"
#include "engine/Scan.h"
#include "engine/TableFile.h"
#include "engine/UpdateList.h"

namespace renvo {

// The copies and deletions of a run. Most name their files through the listing they came
// from, kept here: a first run queues every file, and two path strings per copy would cost
// more than the listing itself.
class RunQueues {
public:
    // Keeps a listing whose files are relative to `root`; its index.
    uint32_t keep(std::string root, Listing files);
    // Lets go of the listing kept last when nothing was queued from it.
    void forgetLast(uint32_t listing);
    const Listing& kept(uint32_t listing) const { return kept_[listing].files; }
    // A folder copies land under, by the same relative path as in their listing; its index.
    uint32_t targetRoot(std::string root);

    void queueCopy(std::string source, std::string destination);
    void queueCopy(uint32_t listing, uint32_t file, uint32_t targetRoot);
    void queueCopy(uint32_t listing, uint32_t file, std::string destination);
    void queueDeletion(std::string path);
    void queueDeletion(uint32_t listing, uint32_t file);

    size_t copies() const { return copies_.size(); }
    std::string source(size_t k) const;       // copied to destination(k)
    std::string destination(size_t k) const;
    size_t deletions() const { return deletions_.size(); }
    std::string deletion(size_t k) const;

    // Whole lists (tests and small runs).
    std::vector<std::string> sources() const;
    std::vector<std::string> destinations() const;
    std::vector<std::string> deletionPaths() const;

private:
    static constexpr uint32_t kNone32 = UINT32_MAX;
    static constexpr uint32_t kString = 0x80000000u;  // `target` names a string, not a root
    struct Entry {
        uint32_t listing;  // kNone32: `file` and `target` name strings
        uint32_t file;
        uint32_t target;
    };
    struct Kept {
        std::string root;
        Listing files;
    };
    std::string listed(uint32_t listing, uint32_t file) const;

    std::deque<Kept> kept_;
    std::vector<std::string> roots_;
    std::deque<std::string> strings_;
    std::deque<Entry> copies_;
    std::deque<Entry> deletions_;
};

// An item whose source is not there to be read (a drive that is not mounted, a folder that
// is gone): nothing of its mirror is copied, deleted or dropped, and the run is incomplete.
struct UnavailableItem {
    enum class Why {
        Missing,  // gone, and so is its folder (or that folder is empty or unreadable)
        Kept,     // gone from a folder that is there; the list keeps it (DelOnNotExists off)
        Empty,    // an empty folder while its mirrored copy holds files
    };
    std::string address;
    Why why;
};

// The run's lists, filled by the evaluation of every due item.
struct RunLists {
    RunQueues queues;
    std::vector<std::string> dropped;       // addresses of vanished items
    std::vector<UnavailableItem> unavailable;
    std::vector<std::string> mountPoints;   // item folders found to be mount points
    ListingNotes sourceNotes;  // unreadable folders and special files of the sources
    std::vector<TableBuffer::Lookup> tableErrors;  // damage met in the table, in order
    std::vector<std::string> staleTemporaries;     // left in the mirror by a killed copy
    std::vector<std::string> fileTargets;          // the mirrored copies of file items
    UpdateList update;
};

struct EvalContext {
    const MirrorSnapshot& snapshot;
    TableBuffer& table;
    RunLists& lists;
    std::string latest;  // <top>/Latest
    // Item folders seen as mount points by earlier runs.
    std::vector<std::string> knownMountPoints = {};
};

// The folder option in force for a folder item: its own, else the global one; anything
// outside 1..3 keeps deleted files (the safe reading of a damaged value).
int effectiveFolderOption(const MirrorItem& item, uint8_t globalOption);

void evaluateItem(const MirrorItem& item, EvalContext& ctx);

}  // namespace renvo
