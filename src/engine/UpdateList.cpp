#include "engine/UpdateList.h"

#include "engine/EFOpenError.h"
#include "engine/ItemChecks.h"
#include "platform/FileSys.h"
#include "platform/OpenRetry.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace renvo {

void UpdateList::clear()
{
    if (!empty())
        saved_ = false;
    sorted_.clear();
    pending_.clear();
    arena_.clear();
}

void UpdateList::normalize() const
{
    if (pending_.empty())
        return;
    auto less = [this](PathArena::Ref a, PathArena::Ref b) { return pathLess(arena_.get(a), arena_.get(b)); };
    auto equal = [&less](PathArena::Ref a, PathArena::Ref b) { return !less(a, b) && !less(b, a); };
    // Stable throughout, so of equal paths the one added first stays, as in a set.
    std::stable_sort(pending_.begin(), pending_.end(), less);
    const size_t before = sorted_.size();
    sorted_.insert(sorted_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    pending_.shrink_to_fit();
    std::inplace_merge(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(before), sorted_.end(), less);
    sorted_.erase(std::unique(sorted_.begin(), sorted_.end(), equal), sorted_.end());
    if (sorted_.size() != before)
        saved_ = false;
}

void UpdateList::load(const std::string& path)
{
    if (!pathExists(path))
        return;
    std::string data;
    if (const Status read = readWholeFile(path, data); !read)
        throw EFOpenError{path, read.error()};
    std::string_view rest(data);
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // A line that is no relative path below Latest ("..", an empty part, a leading
        // delimiter, a NUL) was written by no run: the history step would copy through it
        // out of the generation.
        if (!line.empty() && line.size() <= PathArena::kMaxLength && checkDestination(line) == ItemProblem::None)
            add(line);
    }
    normalize();
    // Whether the file holds exactly what save would write, compared line by line.
    std::string_view file(data);
    saved_ = true;
    for (PathArena::Ref r : sorted_) {
        const std::string_view line = arena_.get(r);
        if (file.size() < line.size() + 2 || file.compare(0, line.size(), line) != 0 ||
            file.compare(line.size(), 2, "\r\n") != 0) {
            saved_ = false;
            break;
        }
        file.remove_prefix(line.size() + 2);
    }
    if (!file.empty())
        saved_ = false;
}

int UpdateList::save(const std::string& path) const
{
    normalize();
    // Written in pieces: the list of a first run names every file of the mirror.
    return writeFileAtomicBy(path, [this](int fd) {
        std::string chunk;
        for (size_t i = 0; i < sorted_.size(); ++i) {
            chunk += arena_.get(sorted_[i]);
            chunk += "\r\n";
            if (chunk.size() >= 256 * 1024 || i + 1 == sorted_.size()) {
                if (!writeAll(fd, chunk.data(), chunk.size()))
                    return false;
                chunk.clear();
            }
        }
        return true;
    }).error();
}

}  // namespace renvo
