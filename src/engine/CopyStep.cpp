#include "engine/CopyStep.h"

#include "platform/FileSys.h"
#include "platform/CanonicalPath.h"
#include "platform/Path.h"

#include <cerrno>

namespace renvo {

int CopyStep::copy(const std::string& source, const std::string& destination)
{
    const std::string folder = extractFileDir(destination);
    if (folder != lastFolder_) {
        lastFolder_.clear();
        session_.forget();  // the next copy opens the folder checked here
        // A link left in the mirror where the source now has a folder must not carry the copy
        // (and the folders made for it) anywhere else.
        if (!isSameOrInside(canonicalPath(folder), root_))
            return ELOOP;
        if (forceDirectories(folder))
            lastFolder_ = folder;
    }
    const int err = session_.copy(source, destination).error();
    if (err != 0) {
        lastFolder_.clear();  // the folder may have gone meanwhile
        session_.forget();
    }
    return err;
}

}  // namespace renvo
