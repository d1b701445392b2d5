#include "engine/Listing.h"

#include "platform/Path.h"

#include <cstring>
#include <stdexcept>

namespace renvo {

PathArena::Ref PathArena::add(std::string_view s)
{
    if (s.size() > kMaxLength)
        throw std::length_error("path part too long for the listing");
    constexpr size_t kBlock = size_t{1} << kBlockBits;
    if (blocks_.empty() || used_ + s.size() > kBlock) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
        used_ = 0;
    }
    const uint64_t off = (static_cast<uint64_t>(blocks_.size() - 1) << kBlockBits) | used_;
    if (!s.empty())
        std::memcpy(blocks_.back().get() + used_, s.data(), s.size());
    used_ += s.size();
    return (off << 16) | s.size();
}

std::string Listing::relative(size_t i) const
{
    const std::string_view dir = folder(files_[i].folder);
    const std::string_view n = name(i);
    std::string out;
    out.reserve(dir.size() + 1 + n.size());
    if (!dir.empty()) {
        out.append(dir);
        out.push_back(pathDelim());
    }
    out.append(n);
    return out;
}

void Listing::path(const std::string& root, size_t i, std::string& out) const
{
    const std::string_view dir = folder(files_[i].folder);
    const std::string_view n = name(i);
    out.clear();
    out.reserve(root.size() + dir.size() + n.size() + 2);
    out.append(root);
    out.push_back(pathDelim());
    if (!dir.empty()) {
        out.append(dir);
        out.push_back(pathDelim());
    }
    out.append(n);
}

}  // namespace renvo
