#include "engine/Masks.h"

#include "platform/Ascii.h"
#include "platform/Path.h"

namespace renvo {

namespace {

// Iterative wildcard match with one backtrack point; '?' steps over a whole character.
bool wildMatch(std::string_view mask, std::string_view name)
{
    const CodePage cp = nativePathRules().codePage;
    size_t m = 0, n = 0;
    size_t starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
            continue;
        }
        if (m < mask.size()) {
            if (mask[m] == '?') {
                ++m;
                n += charLength(name, n, cp);
                continue;
            }
            if (foldAscii(mask[m]) == foldAscii(name[n])) {
                ++m;
                ++n;
                continue;
            }
        }
        if (starM == std::string_view::npos)
            return false;
        m = starM + 1;
        starN += charLength(name, starN, cp);
        n = starN;
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

}  // namespace

std::vector<std::string> splitMasks(std::string_view masks)
{
    std::vector<std::string> out;
    size_t p;
    while ((p = masks.find(' ')) != std::string_view::npos) {
        out.emplace_back(masks.substr(0, p));
        masks.remove_prefix(p + 1);
    }
    out.emplace_back(masks);
    return out;
}

bool maskMatchesAll(std::string_view mask)
{
    return mask == "*" || mask == "*.*";
}

bool matchMask(std::string_view mask, std::string_view name)
{
    if (mask.empty())
        return false;
    if (maskMatchesAll(mask))
        return true;
    if (wildMatch(mask, name))
        return true;
    // "name.*" also finds "name": the extension may be absent.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*")
        return wildMatch(mask.substr(0, mask.size() - 2), name);
    return false;
}

}  // namespace renvo
