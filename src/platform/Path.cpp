#include "platform/Path.h"

#include "platform/Ascii.h"

#include <algorithm>
#include <vector>

namespace renvo {

const PathRules& nativePathRules()
{
#ifdef _WIN32
    static const PathRules rules{'\\', CodePage::Cp932, true, true};
#else
    static const PathRules rules{'/', CodePage::Utf8, false, false};
#endif
    return rules;
}

const PathRules& windowsCp932Rules()
{
    static const PathRules rules{'\\', CodePage::Cp932, true, true};
    return rules;
}

bool isLeadByte(unsigned char c, CodePage cp)
{
    if (cp == CodePage::Cp932)
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return c >= 0xC0;  // UTF-8 lead bytes; no trail byte is ever ASCII
}

size_t charLength(std::string_view s, size_t i, CodePage cp)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = 1;
    if (cp == CodePage::Cp932) {
        if (isLeadByte(c, cp))
            n = 2;
    } else if (c >= 0xC0 && c <= 0xF7) {
        const size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        // Names in other encodings (Latin-1) are not UTF-8: only real continuation bytes
        // belong to the character, so a following '/' is never swallowed.
        while (n < want && i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80)
            ++n;
    }
    return std::min(n, s.size() - i);
}

namespace {

bool isDelimAt(std::string_view s, size_t i, const PathRules& r, bool orColon)
{
    return s[i] == r.delim || (orColon && r.driveLetters && s[i] == ':');
}

// Position of the last delimiter (or drive colon) that is a character of its own; with
// `afterDelim`, whether the character before it is a delimiter or colon of its own too.
size_t lastDelimiter(std::string_view s, const PathRules& r, bool orColon, bool* afterDelim = nullptr)
{
    size_t found = std::string_view::npos;
    bool prevIsDelim = false;
    for (size_t i = 0; i < s.size(); i += charLength(s, i, r.codePage)) {
        const bool here = isDelimAt(s, i, r, orColon);
        if (here && afterDelim)
            *afterDelim = prevIsDelim;
        if (here)
            found = i;
        prevIsDelim = here;
    }
    return found;
}

// Letter case ignored for single-byte characters only: a CP932 trail byte such as 0x41
// is part of a double-byte character, not the letter A.
int compareFolded(std::string_view a, std::string_view b, CodePage cp)
{
    const size_t n = std::min(a.size(), b.size());
    size_t charEnd = 0;  // bytes before this index belong to a character already begun
    for (size_t i = 0; i < n; ++i) {
        bool single = false;
        if (i >= charEnd) {
            const size_t len = charLength(a, i, cp);
            single = len == 1;
            charEnd = i + len;
        }
        const unsigned char x = static_cast<unsigned char>(single ? foldAscii(a[i]) : a[i]);
        const unsigned char y = static_cast<unsigned char>(single ? foldAscii(b[i]) : b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool samePart(std::string_view a, std::string_view b, const PathRules& r)
{
    return r.ignoreCase ? a.size() == b.size() && compareFolded(a, b, r.codePage) == 0 : a == b;
}

}  // namespace

std::string joinPath(std::string_view a, std::string_view b, const PathRules& r)
{
    std::string out;
    out.reserve(a.size() + 1 + b.size());
    out.append(a);
    out.push_back(r.delim);
    out.append(b);
    return out;
}

std::string extractFileName(std::string_view path, const PathRules& r)
{
    const size_t p = lastDelimiter(path, r, true);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string extractFilePath(std::string_view path, const PathRules& r)
{
    const size_t p = lastDelimiter(path, r, true);
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string extractFileDir(std::string_view path, const PathRules& r)
{
    bool afterDelim = false;
    const size_t p = lastDelimiter(path, r, true, &afterDelim);
    if (p == std::string_view::npos)
        return {};
    // Keep a delimiter that stands for a root: at the start, after a colon or another delimiter.
    if (path[p] == r.delim && p > 0 && !afterDelim)
        return std::string(path.substr(0, p));
    return std::string(path.substr(0, p + 1));
}

std::string extractFileDrive(std::string_view path, const PathRules& r)
{
    if (!r.driveLetters)
        return {};
    if (path.size() >= 2 && path[1] == ':')
        return std::string(path.substr(0, 2));
    if (path.size() >= 2 && path[0] == r.delim && path[1] == r.delim) {
        // \\server\share: up to the delimiter after the share name.
        int delims = 0;
        size_t i = 2;
        for (; i < path.size(); i += charLength(path, i, r.codePage)) {
            if (path[i] == r.delim && ++delims == 2)
                break;
        }
        return std::string(path.substr(0, i));
    }
    return {};
}

std::string excludeTrailingDelimiter(std::string_view path, const PathRules& r)
{
    if (!path.empty() && lastDelimiter(path, r, false) == path.size() - 1 && path.size() > 1)
        path.remove_suffix(1);
    return std::string(path);
}

std::string includeTrailingDelimiter(std::string_view path, const PathRules& r)
{
    std::string out(path);
    if (out.empty() || lastDelimiter(out, r, false) != out.size() - 1)
        out.push_back(r.delim);
    return out;
}

bool containsDotPart(std::string_view path, const PathRules& r)
{
    for (size_t i = 0; i + 1 < path.size(); i += charLength(path, i, r.codePage)) {
        if (path[i] == r.delim && path[i + 1] == '.')
            return true;
    }
    return false;
}

std::string changeFileExt(std::string_view path, std::string_view ext, const PathRules& r)
{
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < path.size(); i += charLength(path, i, r.codePage)) {
        if (path[i] == '.')
            dot = i;
        else if (isDelimAt(path, i, r, true))
            dot = std::string_view::npos;
    }
    std::string out(dot == std::string_view::npos ? path : path.substr(0, dot));
    out.append(ext);
    return out;
}

std::string relativePath(std::string_view base, std::string_view target, const PathRules& r)
{
    const std::string baseDrive = extractFileDrive(base, r);
    const std::string targetDrive = extractFileDrive(target, r);
    // Drive letters never depend on the file system's letter case rule.
    if (baseDrive.size() != targetDrive.size() || compareFolded(baseDrive, targetDrive, r.codePage) != 0)
        return std::string(target);

    auto components = [&](std::string_view path, size_t driveLen) {
        std::string dir = extractFilePath(path, r);
        dir.erase(0, std::min(driveLen, dir.size()));
        std::vector<std::string> parts;
        size_t start = std::string::npos;
        for (size_t i = 0; i < dir.size(); i += charLength(dir, i, r.codePage)) {
            if (dir[i] == r.delim) {
                if (start != std::string::npos)
                    parts.push_back(dir.substr(start, i - start));
                start = i + 1;
            }
        }
        return parts;
    };
    const std::vector<std::string> b = components(base, baseDrive.size());
    const std::vector<std::string> t = components(target, targetDrive.size());
    size_t common = 0;
    while (common < b.size() && common < t.size() && samePart(b[common], t[common], r))
        ++common;
    std::string out;
    for (size_t i = common; i < b.size(); ++i) {
        out += "..";
        out.push_back(r.delim);
    }
    for (size_t i = common; i < t.size(); ++i) {
        out += t[i];
        out.push_back(r.delim);
    }
    out += extractFileName(target, r);
    return out;
}

bool samePath(std::string_view a, std::string_view b, const PathRules& r)
{
    return samePart(a, b, r);
}

std::string pathKey(std::string_view path, const PathRules& r)
{
    std::string key(path);
    if (!r.ignoreCase)
        return key;
    for (size_t i = 0; i < key.size();) {
        const size_t len = charLength(key, i, r.codePage);
        if (len == 1)
            key[i] = foldAscii(key[i]);
        i += len;
    }
    return key;
}

bool pathLess(std::string_view a, std::string_view b, const PathRules& r)
{
    if (r.ignoreCase)
        return compareFolded(a, b, r.codePage) < 0;
    return a < b;
}

std::string trimTrailingDelimiters(std::string_view path, const PathRules& rules)
{
    std::string out(path);
    // excludeTrailingDelimiter keeps a lone delimiter and knows trail bytes from delimiters.
    while (out.size() > 1) {
        std::string shorter = excludeTrailingDelimiter(out, rules);
        if (shorter.size() == out.size())
            break;
        out = std::move(shorter);
    }
    return out;
}

}  // namespace renvo
