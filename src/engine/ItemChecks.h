#pragma once
// Text checks of an item's address and destination subfolder. The windows use them at input
// and a run uses them to skip records it must not trust, so both refuse the same texts.

#include <string_view>

#include "platform/Path.h"

namespace renvo {

enum class ItemProblem {
    None,
    EmptyAddress,
    AddressNotAbsolute,
    AddressHasNul,
    DestAbsolute,    // begins with a delimiter or a drive
    DestEmptyPart,   // two delimiters in a row, or one at either end
    DestDotPart,     // a "." part
    DestParentPart,  // a ".." part: would leave Latest
    DestHasNul,
    EmptyMasks,      // a folder item without masks would find nothing
    // Found by a run only, which looks at the disk:
    AddressOverlapsTop,  // is the mirroring top folder, lies inside it or holds it
    BadFileName,         // a file item's name is empty, "." or ".."
    DestOutsideLatest,   // the destination leads out of Latest through a link
};

// An address must be a full path: "/..." here, "X:\..." or "\\server\share..." on Windows.
ItemProblem checkAddress(std::string_view address, const PathRules& r = nativePathRules());

// A destination subfolder must name a folder below Latest. Empty is fine: directly in Latest.
ItemProblem checkDestination(std::string_view dest, const PathRules& r = nativePathRules());

}  // namespace renvo
