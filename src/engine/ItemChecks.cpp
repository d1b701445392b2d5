#include "engine/ItemChecks.h"

namespace renvo {

namespace {

// Windows takes "/" as a delimiter as well as "\", so a check there must too.
bool isSeparator(char c, const PathRules& r)
{
    return c == r.delim || (r.driveLetters && c == '/');
}

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool hasNul(std::string_view s)
{
    return s.find('\0') != std::string_view::npos;
}

}  // namespace

ItemProblem checkAddress(std::string_view address, const PathRules& r)
{
    if (address.empty())
        return ItemProblem::EmptyAddress;
    if (hasNul(address))
        return ItemProblem::AddressHasNul;  // the system calls would see a shorter path
    bool absolute;
    if (!r.driveLetters) {
        absolute = address[0] == r.delim;
    } else {
        // "X:\..." or "\\server\...": "X:name" and "\name" depend on the current drive or folder.
        const bool drive = address.size() >= 3 && isAsciiLetter(address[0]) && address[1] == ':' &&
                           isSeparator(address[2], r);
        const bool unc = address.size() >= 3 && isSeparator(address[0], r) && isSeparator(address[1], r) &&
                         !isSeparator(address[2], r);
        absolute = drive || unc;
    }
    return absolute ? ItemProblem::None : ItemProblem::AddressNotAbsolute;
}

ItemProblem checkDestination(std::string_view dest, const PathRules& r)
{
    if (dest.empty())
        return ItemProblem::None;
    if (hasNul(dest))
        return ItemProblem::DestHasNul;
    if (isSeparator(dest[0], r) || (r.driveLetters && dest.size() >= 2 && dest[1] == ':'))
        return ItemProblem::DestAbsolute;

    // Parts are cut at delimiters that are characters of their own (never a CP932 trail byte).
    size_t partStart = 0;
    for (size_t i = 0;; ) {
        const bool end = i >= dest.size();
        if (end || isSeparator(dest[i], r)) {
            const std::string_view part = dest.substr(partStart, i - partStart);
            if (part.empty())
                return ItemProblem::DestEmptyPart;
            if (part == ".")
                return ItemProblem::DestDotPart;
            if (part == "..")
                return ItemProblem::DestParentPart;
            if (end)
                break;
            partStart = i + 1;
            ++i;
        } else {
            i += charLength(dest, i, r.codePage);
        }
    }
    return ItemProblem::None;
}

}  // namespace renvo
