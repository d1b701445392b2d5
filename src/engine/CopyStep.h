#pragma once
// The copy step of a run: one source over its mirrored copy, creating folders as needed.

#include <string>

#include "platform/FileSys.h"

namespace renvo {

class CopyStep {
public:
    // root: the canonical folder every copy must land in (Latest).
    explicit CopyStep(std::string root) : root_(std::move(root)) {}

    // 0 or the errno of the failure. A failed copy leaves the old copy whole; the source is
    // never changed. A pipe, socket or device is not copied (ENOTSUP). A destination folder
    // that leads out of the root through a link is refused (ELOOP) before anything is made.
    int copy(const std::string& source, const std::string& destination);

private:
    std::string root_;
    std::string lastFolder_;  // made or found by the previous copy: most copies share it
    CopySession session_;
};

}  // namespace renvo
