#include "engine/CopyStep.h"

#include "platform/FileSys.h"
#include "platform/Path.h"

namespace renvo {

int CopyStep::copy(const std::string& source, const std::string& destination)
{
    const std::string folder = extractFileDir(destination);
    if (folder != lastFolder_) {
        lastFolder_.clear();
        if (forceDirectories(folder) == 0)
            lastFolder_ = folder;
    }
    const int err = copyFileReplacing(source, destination);
    if (err != 0)
        lastFolder_.clear();  // the folder may have gone meanwhile
    return err;
}

}  // namespace renvo
