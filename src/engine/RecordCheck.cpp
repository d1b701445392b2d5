#include "engine/RecordCheck.h"

#include "platform/CanonicalPath.h"
#include "platform/Path.h"

namespace renvo {

RecordCheck::RecordCheck(const std::string& top) : topProblem_(checkAddress(top))
{
    if (topProblem_ == ItemProblem::None) {
        top_ = canonicalPath(top);
        latest_ = canonicalPath(joinPath(top_, "Latest"));
    }
}

ItemProblem RecordCheck::check(const MirrorItem& item) const
{
    if (const ItemProblem p = checkAddress(item.address); p != ItemProblem::None)
        return p;
    if (const ItemProblem p = checkDestination(item.dest); p != ItemProblem::None)
        return p;
    if (item.isFile()) {
        const std::string name = extractFileName(item.address);
        if (name.empty() || name == "." || name == "..")
            return ItemProblem::BadFileName;
    }
    const std::string address = canonicalPath(item.address);
    if (isSameOrInside(address, top_) || isSameOrInside(top_, address))
        return ItemProblem::AddressOverlapsTop;
    if (!item.dest.empty() && !isSameOrInside(canonicalPath(joinPath(latest_, item.dest)), latest_))
        return ItemProblem::DestOutsideLatest;
    return ItemProblem::None;
}

}  // namespace renvo
