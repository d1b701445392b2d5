#include "engine/CopyStep.h"

#include "platform/FileSys.h"
#include "platform/Path.h"

#include <cerrno>
#include <filesystem>

namespace renvo {

namespace {

// A pipe would block the run forever and a device could be read without end: only regular
// files (and links to them) are copied.
bool isSpecialFile(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::file_type type = std::filesystem::status(path, ec).type();
    return type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket ||
           type == std::filesystem::file_type::character || type == std::filesystem::file_type::block;
}

}  // namespace

int CopyStep::copy(const std::string& source, const std::string& destination)
{
    if (isSpecialFile(source))
        return ENOTSUP;
    const std::string folder = extractFileDir(destination);
    if (folder != lastFolder_) {
        lastFolder_.clear();
        if (forceDirectories(folder))
            lastFolder_ = folder;
    }
    const int err = copyFileReplacing(source, destination);
    if (err != 0)
        lastFolder_.clear();  // the folder may have gone meanwhile
    return err;
}

}  // namespace renvo
