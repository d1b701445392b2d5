#pragma once
// ASCII letter case, ignored the way the registry and file masks ignore it: byte by byte,
// A-Z equal a-z and every other byte compares exactly. Blind to double-byte characters (a
// CP932 trail byte may look like a letter): paths compare through Path.h's samePath.

#include <algorithm>
#include <string>
#include <string_view>

namespace renvo {

constexpr char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string foldAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = foldAscii(c);
    return out;
}

// Unsigned byte order after folding.
inline int compareTextIgnoreCase(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(foldAscii(a[i]));
        const unsigned char y = static_cast<unsigned char>(foldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool sameTextIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && compareTextIgnoreCase(a, b) == 0;
}

}  // namespace renvo
