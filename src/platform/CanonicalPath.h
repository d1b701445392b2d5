#pragma once
// Paths compared for what they name, not how they are spelled: wherever one path must not lie
// inside another ("a//b", "a/./b", a trailing delimiter and a link all name the same folder).

#include <string>

namespace renvo {

// The absolute, normal form of a path: links resolved and "." parts, ".." parts and doubled
// delimiters removed as far as the path exists; a part that does not exist (yet) is made
// normal as text. A relative path counts from the working folder. Empty for an empty path.
std::string canonicalPath(const std::string& path);

// True when `inner` is `outer` or lies below it; both canonical.
bool isSameOrInside(const std::string& inner, const std::string& outer);

}  // namespace renvo
