#pragma once
// The update list `_update`: relative paths of the files queued for copying since the last
// complete run, sorted, no two equal by the platform's file-name rule.
//
// A first run of a home folder lists every file: the paths live in one arena, and new ones are
// sorted in with the rest only when the list is read or saved.

#include <string>
#include <string_view>
#include <vector>

#include "engine/Listing.h"
#include "platform/FileNames.h"
#include "platform/Path.h"

namespace renvo {

class UpdateList {
public:
    // Paths sorted by pathLess; the earliest spelling of equal ones.
    class Paths {
    public:
        class iterator {
        public:
            using value_type = std::string_view;
            using difference_type = std::ptrdiff_t;
            using reference = std::string_view;
            using pointer = void;
            using iterator_category = std::forward_iterator_tag;
            iterator() = default;
            iterator(const UpdateList* list, size_t i) : list_(list), i_(i) {}
            std::string_view operator*() const { return list_->arena_.get(list_->sorted_[i_]); }
            iterator& operator++()
            {
                ++i_;
                return *this;
            }
            iterator operator++(int)
            {
                iterator before = *this;
                ++i_;
                return before;
            }
            bool operator==(const iterator& o) const { return i_ == o.i_; }

        private:
            const UpdateList* list_ = nullptr;
            size_t i_ = 0;
        };
        explicit Paths(const UpdateList& list) : list_(list) {}
        iterator begin() const { return {&list_, 0}; }
        iterator end() const { return {&list_, list_.sorted_.size()}; }

    private:
        const UpdateList& list_;
    };

    void add(std::string_view rel) { pending_.push_back(arena_.add(rel)); }
    void clear();
    size_t size() const
    {
        normalize();
        return sorted_.size();
    }
    bool empty() const { return size() == 0; }
    Paths paths() const
    {
        normalize();
        return Paths(*this);
    }

    // Adds the lines of a saved list (CR LF or LF; blank lines skipped; a missing final line
    // end is fine). Lines that are no relative path below Latest (checkDestination) are
    // damage and skipped. A missing file adds nothing. Throws EFOpenError when it exists but
    // cannot be read.
    void load(const std::string& path);
    // One path per line, CR LF, replaced atomically. 0 or errno.
    int save(const std::string& path) const;
    // False while the saved file holds exactly this list, as save would write it.
    bool needsSave() const
    {
        normalize();
        return !saved_;
    }

private:
    // Sorts the paths added since into the list.
    void normalize() const;

    mutable PathArena arena_;
    mutable std::vector<PathArena::Ref> sorted_;
    mutable std::vector<PathArena::Ref> pending_;
    mutable bool saved_ = false;
};

}  // namespace renvo
