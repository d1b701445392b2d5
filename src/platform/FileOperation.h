#pragma once
// The shell file operation of the main form (shoMirror): copy or delete one path, silently and
// for good (nothing goes to a trash), a folder with everything in it. Links are never followed:
// a link inside the tree, or in the named path's own place, is copied or removed as a link and
// its target stays untouched. No Qt here: the list editor and the restore use it, and its tests need no window.

#include <string>

#include "platform/Status.h"

namespace renvo {

// The outcome of an operation is its first failure, if any: the rest of the tree is still
// worked on after a failure, as far as it can be.
class TFileOperation {
public:
    // Every path is absolute (no NUL, no "." or ".." components); anything else fails with
    // EINVAL before touching a file. The operations are silent and permanent.

    // Copies a file or a folder tree. When `to` is an existing folder, the copy goes into it
    // under the source's name; otherwise `to` names the copy, its missing parent folders are
    // made. An existing file is replaced atomically; a folder is merged into.
    Status CopyFiles(const std::string& from, const std::string& to);
    // Copies to `to` exactly, which lies below `base`, a folder the caller chose (it may itself
    // be a link; it is made when missing). No part of `to` below base may be a symbolic link,
    // dangling or not, `to` itself included: such a copy fails with kLinkInTheWay and the
    // link's path, and nothing is written. Missing folders below base are made as real folders.
    Status CopyFilesBelow(const std::string& from, const std::string& base, const std::string& to);
    // Removes a file, a link, or a folder with everything in it.
    Status DeleteFiles(const std::string& path);
};

}  // namespace renvo
