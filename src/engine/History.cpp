#include "engine/History.h"

#include "engine/CopyStep.h"
#include "platform/CanonicalPath.h"
#include "platform/FileSys.h"
#include "platform/Path.h"
#include "platform/RemoveTree.h"

#include <algorithm>
#include <string_view>

namespace renvo {

namespace {

constexpr std::string_view kGenerationPrefix = "History";
// Where the new History1 is made: hidden and no generation name.
constexpr char kNewGenerationName[] = ".History1.rvtmp";

}  // namespace

int64_t generationNumber(const std::string& name)
{
    if (name.size() <= kGenerationPrefix.size() || name.compare(0, kGenerationPrefix.size(), kGenerationPrefix) != 0)
        return 0;
    const std::string_view digits = std::string_view(name).substr(kGenerationPrefix.size());
    if (digits.size() > 18 || digits[0] == '0')
        return 0;
    int64_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool isHistoryWorkName(std::string_view name)
{
    return name.size() > 8 && name.substr(0, 8) == ".History" && name.ends_with(".rvtmp");
}

std::string generationFolder(const std::string& top, int64_t n)
{
    return joinPath(top, std::string(kGenerationPrefix) + std::to_string(n));
}

std::vector<int64_t> generationsPresent(const std::string& top)
{
    std::vector<int64_t> out;
    for (const DirEntry& e : readDirectory(top, false)) {
        if (const int64_t n = generationNumber(e.name); n > 0)
            out.push_back(n);
    }
    std::sort(out.begin(), out.end());
    return out;
}

void removeHistoryLeftovers(const std::string& top)
{
    const std::string staging = joinPath(top, kNewGenerationName);
    if (pathExists(staging))
        removeTree(staging);
}

HistoryStep::HistoryStep(std::string top, int32_t limitHistory, const UpdateList& updated)
    : top_(std::move(top)), latest_(joinPath(top_, "Latest")), limit_(limitHistory), updated_(updated),
      present_(generationsPresent(top_))
{
    if (limit_ > 0 && directoryExists(latest_)) {
        rotates_ = std::any_of(updated_.paths().begin(), updated_.paths().end(),
                               [&](std::string_view rel) { return pathExists(joinPath(latest_, rel)); });
        if (!rotates_) {
            removesAbove_ = false;
            return;
        }
        steps_ = static_cast<size_t>(std::count_if(present_.begin(), present_.end(),
                                                   [&](int64_t n) { return n < limit_; })) +
                 updated_.size();
    }
    ++steps_;
}

bool HistoryStep::run(const std::function<void()>& advance)
{
    bool placed = true;
    if (rotates_) {
        removeHistoryLeftovers(top_);
        const std::string staging = joinPath(top_, kNewGenerationName);
        forceDirectories(staging);
        // A link copied into the new generation never carries a later copy out of it.
        CopyStep copier(canonicalPath(staging));
        for (const std::string_view rel : updated_.paths()) {
            const std::string src = joinPath(latest_, rel);
            if (pathExists(src))
                copier.copy(src, joinPath(staging, rel));
            advance();
        }
        auto above = std::lower_bound(present_.begin(), present_.end(), static_cast<int64_t>(limit_));
        if (above != present_.end() && *above == limit_)
            removeTree(generationFolder(top_, limit_));
        // Newest last: History2 moves to History3 before History1 takes its place.
        for (auto it = std::make_reverse_iterator(above); it != present_.rend(); ++it) {
            renamePath(generationFolder(top_, *it), generationFolder(top_, *it + 1));
            advance();
        }
        placed = renamePath(staging, generationFolder(top_, 1)) == 0;
    }
    if (!removesAbove_)
        return placed;
    advance();
    // The generations above the limit, up to the first number that is missing (a negative
    // limit, from a damaged setting, removes none).
    int64_t next = static_cast<int64_t>(limit_) + 1;
    for (int64_t n : present_) {
        if (n < next)
            continue;
        if (n != next)
            break;
        removeTree(generationFolder(top_, n));
        ++next;
    }
    return placed;
}

}  // namespace renvo
