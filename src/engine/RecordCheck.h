#pragma once
// Which records of the list a run may trust. A record that fails is skipped, so a damaged or
// hostile list file can never make a run copy or delete outside Latest, nor touch a source.

#include <string>

#include "engine/ItemChecks.h"
#include "engine/ListFile.h"

namespace renvo {

class RecordCheck {
public:
    // top: the mirroring top folder as the settings hold it.
    explicit RecordCheck(const std::string& top);

    // The top folder itself must be a full path; ItemProblem::None when it is.
    ItemProblem topProblem() const { return topProblem_; }
    // The canonical Latest folder, below which every copy of the run lands.
    const std::string& latest() const { return latest_; }

    // The first reason not to trust the record, ItemProblem::None when there is none: its
    // texts (address, destination, a file item's name), then what they name on disk (the
    // address against the top folder, the destination against Latest), all compared in
    // canonical form.
    ItemProblem check(const MirrorItem& item) const;

private:
    ItemProblem topProblem_;
    std::string top_;     // canonical
    std::string latest_;  // canonical
};

}  // namespace renvo
