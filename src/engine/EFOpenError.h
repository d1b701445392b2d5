#pragma once
// The error a run reports for a file of its own that cannot be opened, read or written; it
// ends the run with the file-open message box.

#include <stdexcept>
#include <string>

namespace renvo {

struct EFOpenError : std::runtime_error {
    EFOpenError(std::string file, int error)
        : std::runtime_error("cannot open " + file), path(std::move(file)), err(error)
    {
    }
    std::string path;
    int err;  // errno
};

}  // namespace renvo
