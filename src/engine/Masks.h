#pragma once
// File masks as users type them: Windows wildcards, letter case ignored.

#include <string>
#include <string_view>
#include <vector>

namespace renvo {

// Cuts the masks text at every single space: "a b" gives a, b; "a  b" gives a, "", b;
// "" gives one empty mask.
std::vector<std::string> splitMasks(std::string_view masks);

// Windows wildcard match: '*' any run of characters, '?' one character, "*.*" every name
// (also one without a dot), a mask ending in ".*" also matches the name without extension.
// ASCII letter case ignored. An empty mask matches nothing.
bool matchMask(std::string_view mask, std::string_view name);

// True when the mask matches every name, so no matching is needed.
bool maskMatchesAll(std::string_view mask);

}  // namespace renvo
