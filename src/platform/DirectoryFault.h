#pragma once
// A test hook into readDirectory: a failing readdir cannot be brought about on demand, so a
// test makes one up. Unset in the programs.

#include <cstddef>
#include <string>

namespace renvo {

// Asked before each readdir call of a listing with the folder as given to readDirectory and
// the count of entries listed so far ("." and ".." not counted). A non-zero errno fails that
// readdir call with it; 0 lets it go on.
using ReadDirectoryFault = int (*)(const std::string& dir, size_t entriesRead);

// Installs the hook (nullptr removes it). Set it before the listings it is meant for start.
void setReadDirectoryFault(ReadDirectoryFault fault);

}  // namespace renvo
