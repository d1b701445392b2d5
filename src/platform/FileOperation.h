#pragma once
// The shell file operation of the main form (shoMirror): copy or delete one path, silently and
// for good (nothing goes to a trash), a folder with everything in it. Links are never followed:
// a link inside the tree, or in the named path's own place, is copied or removed as a link and
// its target stays untouched. No Qt here: the list editor and the restore use it, and its tests need no window.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace renvo {

enum TFileOpFlag : uint8_t {
    fofMultiDestFiles,
    fofConfirmMouse,
    fofSilent,
    fofRenameOnCollision,
    fofNoConfirmation,
    fofWantMappingHandle,
    fofAllowUndo,
    fofFilesOnly,
    fofSimpleProgress,
    fofNoConfirmMkdir,
    fofNoErrorUI,
};

// A set of TFileOpFlag, one bit per ordinal.
class TFileOpFlags {
public:
    constexpr TFileOpFlags() = default;
    constexpr TFileOpFlags(std::initializer_list<TFileOpFlag> flags)
    {
        for (const TFileOpFlag f : flags)
            bits_ |= bit(f);
    }
    constexpr bool contains(TFileOpFlag f) const { return (bits_ & bit(f)) != 0; }
    constexpr TFileOpFlags& operator+=(TFileOpFlag f) { bits_ |= bit(f); return *this; }
    constexpr TFileOpFlags& operator-=(TFileOpFlag f) { bits_ &= ~bit(f); return *this; }
    constexpr uint16_t bits() const { return bits_; }
    constexpr bool operator==(const TFileOpFlags&) const = default;

private:
    static constexpr uint16_t bit(TFileOpFlag f) { return uint16_t(1u << f); }
    uint16_t bits_ = 0;
};

// The shell's flag word of a set (FOF_MULTIDESTFILES 0x0001 ... FOF_NOERRORUI 0x0400);
// fofWantMappingHandle is kept in the set but adds nothing.
uint16_t shellFlagWord(TFileOpFlags flags);

constexpr int FO_COPY = 2;
constexpr int FO_DELETE = 3;

// Not an errno: a symbolic link stands where CopyFilesBelow would write.
constexpr int kLinkInTheWay = 0x10001;

// The reason told for kLinkInTheWay.
std::string linkInTheWayText();

// The outcome of one operation: the first failure, if any. The rest of the tree is still
// worked on after a failure, as far as it can be.
struct TFileOpResult {
    int error = 0;     // errno of the first failure; 0 when everything went
    std::string path;  // the path that failure concerned

    // The shell's "some part aborted".
    bool anyAborted() const { return error != 0; }
    // "<path>: <reason>" for the caller's message; empty when nothing failed.
    std::string text() const;
};

class TFileOperation {
public:
    TFileOperation() = default;
    virtual ~TFileOperation() = default;

    TFileOpFlags Options() const { return m_options; }
    void setOptions(TFileOpFlags options) { m_options = options; }
    // Shown by the shell with fofSimpleProgress only; kept for the form description.
    const std::string& Title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }

    // FO_COPY or FO_DELETE on one absolute path each (no NUL, no "." or ".." components);
    // anything else fails with EINVAL before touching a file. The operation is always silent
    // and permanent, whatever Options holds.
    virtual TFileOpResult Execute(int func, const std::string& from, const std::string& to);

    // Copies a file or a folder tree. When `to` is an existing folder, the copy goes into it
    // under the source's name; otherwise `to` names the copy, its missing parent folders are
    // made. An existing file is replaced atomically; a folder is merged into.
    TFileOpResult CopyFiles(const std::string& from, const std::string& to) { return Execute(FO_COPY, from, to); }
    // Copies to `to` exactly, which lies below `base`, a folder the caller chose (it may itself
    // be a link; it is made when missing). No part of `to` below base may be a symbolic link,
    // dangling or not, `to` itself included: such a copy fails with kLinkInTheWay and the
    // link's path, and nothing is written. Missing folders below base are made as real folders.
    TFileOpResult CopyFilesBelow(const std::string& from, const std::string& base, const std::string& to);
    // Removes a file, a link, or a folder with everything in it.
    TFileOpResult DeleteFiles(const std::string& path) { return Execute(FO_DELETE, path, std::string()); }

private:
    TFileOpFlags m_options{fofAllowUndo, fofFilesOnly};
    std::string m_title;
};

}  // namespace renvo
