#pragma once
// Removal of a whole folder tree of the program's own backup layout.

#include <string>

namespace renvo {

// Removes the folder and everything below it, hidden entries included; symbolic links are
// removed, never followed (a link in the folder's own place goes, its target stays).
// Failures of single entries are passed over.
void removeTree(const std::string& folder);

}  // namespace renvo
