#pragma once
// The update list `_update`: relative paths of the files queued for copying since the last
// complete run, sorted, no two equal by the platform's file-name rule.

#include <set>
#include <string>

#include "platform/FileNames.h"
#include "platform/Path.h"

namespace renvo {

struct PathLessCmp {
    bool operator()(const std::string& a, const std::string& b) const { return pathLess(a, b); }
};

class UpdateList {
public:
    using Set = std::set<std::string, PathLessCmp>;

    void add(const std::string& rel)
    {
        if (paths_.insert(rel).second)
            saved_ = false;
    }
    void clear()
    {
        if (!paths_.empty())
            saved_ = false;
        paths_.clear();
    }
    size_t size() const { return paths_.size(); }
    bool empty() const { return paths_.empty(); }
    const Set& paths() const { return paths_; }

    // Adds the lines of a saved list (CR LF or LF; blank lines skipped; a missing final line
    // end is fine). Lines that are no relative path below Latest (checkDestination) are
    // damage and skipped. A missing file adds nothing. Throws EFOpenError when it exists but
    // cannot be read.
    void load(const std::string& path);
    // One path per line, CR LF, replaced atomically. 0 or errno.
    int save(const std::string& path) const;
    // False while the saved file holds exactly this list, as save would write it.
    bool needsSave() const { return !saved_; }

private:
    std::string text() const;

    Set paths_;
    bool saved_ = false;
};

}  // namespace renvo
