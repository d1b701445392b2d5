#pragma once
// A walk's files, kept small: a home folder holds millions of them, and a run holds the
// listings of both trees at once. Each folder's path (relative to the walk's root) and each
// file's name are stored once, in an arena; a file is 16 bytes beside its name.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace renvo {

// Strings appended to blocks that never move, so views into them stay valid. A reference
// packs the offset and the length into 64 bits.
class PathArena {
public:
    using Ref = uint64_t;

    Ref add(std::string_view s);
    std::string_view get(Ref r) const
    {
        const uint64_t off = r >> 16;
        return {blocks_[off >> kBlockBits].get() + (off & kBlockMask), static_cast<size_t>(r & 0xFFFF)};
    }
    // Bytes held in blocks.
    size_t capacity() const { return blocks_.size() << kBlockBits; }
    void clear()
    {
        blocks_.clear();
        used_ = 0;
    }

    static constexpr size_t kMaxLength = 0xFFFF;

private:
    static constexpr unsigned kBlockBits = 20;
    static constexpr uint64_t kBlockMask = (uint64_t{1} << kBlockBits) - 1;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;  // in the last block
};

class Listing {
public:
    struct File {
        uint32_t folder;
        int32_t stamp;
        PathArena::Ref name;
    };

    // A folder by its path relative to the root ("" for the root itself, no delimiter at
    // either end); its index.
    uint32_t addFolder(std::string_view rel)
    {
        folders_.push_back(arena_.add(rel));
        return static_cast<uint32_t>(folders_.size() - 1);
    }
    void addFile(uint32_t folder, std::string_view name, int32_t stamp) { files_.push_back({folder, stamp, arena_.add(name)}); }

    size_t size() const { return files_.size(); }
    bool empty() const { return files_.empty(); }
    const File& operator[](size_t i) const { return files_[i]; }
    std::string_view folder(uint32_t f) const { return arena_.get(folders_[f]); }
    std::string_view name(size_t i) const { return arena_.get(files_[i].name); }

    // The file's path relative to the root.
    std::string relative(size_t i) const;
    // root + delimiter + the relative path: the path a walk from `root` names the file by.
    void path(const std::string& root, size_t i, std::string& out) const;
    std::string path(const std::string& root, size_t i) const
    {
        std::string out;
        path(root, i, out);
        return out;
    }

private:
    PathArena arena_;
    std::vector<PathArena::Ref> folders_;
    std::deque<File> files_;  // blocks, never moved as the listing grows
};

}  // namespace renvo
