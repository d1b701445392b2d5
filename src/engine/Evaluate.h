#pragma once
// Evaluation of one mirror item: which files to copy, which mirrored files lost their source,
// and whether the item itself has vanished. Nothing is copied or deleted here.

#include <string>
#include <vector>

#include "engine/ListFile.h"
#include "engine/MirrorHost.h"
#include "engine/Scan.h"
#include "engine/TableFile.h"
#include "engine/UpdateList.h"

namespace renvo {

// The run's lists, filled by the evaluation of every due item.
struct RunLists {
    std::vector<std::string> sources;       // entry k is copied to destinations[k]
    std::vector<std::string> destinations;
    std::vector<std::string> deletions;
    std::vector<std::string> dropped;       // addresses of vanished items
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
};

// The folder option in force for a folder item: its own, else the global one; anything
// outside 1..3 keeps deleted files (the safe reading of a damaged value).
int effectiveFolderOption(const MirrorItem& item, uint8_t globalOption);

void evaluateItem(const MirrorItem& item, EvalContext& ctx);

}  // namespace renvo
