#include "engine/Masks.h"

#include <gtest/gtest.h>

namespace renvo {
namespace {

using Masks = std::vector<std::string>;

TEST(SplitMasks, CutsAtEverySingleSpace)
{
    EXPECT_EQ(splitMasks("*.txt"), Masks{"*.txt"});
    EXPECT_EQ(splitMasks("*.txt *.doc"), (Masks{"*.txt", "*.doc"}));
    EXPECT_EQ(splitMasks("*.txt  *.doc"), (Masks{"*.txt", "", "*.doc"}));
    EXPECT_EQ(splitMasks(""), Masks{""});
    EXPECT_EQ(splitMasks(" "), (Masks{"", ""}));
    EXPECT_EQ(splitMasks("*.txt "), (Masks{"*.txt", ""}));
    EXPECT_EQ(splitMasks(" *.txt"), (Masks{"", "*.txt"}));
    // Only spaces separate: a tab or a semicolon is part of a mask.
    EXPECT_EQ(splitMasks("a;b\tc"), Masks{"a;b\tc"});
}

TEST(MatchMask, Cases)
{
    struct Case {
        const char* mask;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        // Star-dot-star and star match every name; an empty mask matches nothing.
        {"*.*", "README", true}, {"*.*", "a.txt", true}, {"*.*", ".profile", true}, {"*.*", "x.tar.gz", true},
        {"*.*", "\xE8\xA1\xA8", true}, {"*", "README", true}, {"*", "a.txt", true}, {"*", ".profile", true},
        {"*", "x.tar.gz", true}, {"*", "\xE8\xA1\xA8", true}, {"", "a.txt", false}, {"", "", false},
        // Extensions ignore letter case.
        {"*.txt", "a.txt", true}, {"*.txt", "NOTES.TXT", true}, {"*.TXT", "notes.Txt", true}, {"*.txt", ".txt", true},
        {"*.txt", "a.b.txt", true}, {"*.txt", "a.txt.bak", false}, {"*.txt", "atxt", false}, {"*.txt", "a.tx", false},
        {"Report*.doc", "report 2026.DOC", true}, {"Report*.doc", "my report.doc", false},
        {"\xC3\x89.txt", "\xC3\xA9.txt", false},  // only ASCII letters fold: É and é stay different
        // A question mark is one whole character.
        {"?.txt", "a.txt", true}, {"?.txt", "ab.txt", false}, {"?.txt", ".txt", false},
        {"?.txt", "\xC3\xA9.txt", true},          // é, two bytes
        {"?.txt", "\xE8\xA1\xA8.txt", true},      // 表, three bytes
        {"?.txt", "\xF0\x9F\x93\x84.txt", true},  // four bytes
        {"??.txt", "\xE8\xA1\xA8.txt", false}, {"a?c", "a\xE8\xA1\xA8" "c", true},
        {"*\xE8\xA1\xA8", "\xE8\xA1\xA8\xE8\xA1\xA8", true},  // a star steps over whole characters too
        {"*?", "\xE8\xA1\xA8", true},
        // Names that are no valid UTF-8: a Latin-1 "é" (E9) is one byte with nothing following
        // that could belong to it.
        {"*.txt", "caf\xE9.txt", true}, {"*.txt", "\xE9.txt", true}, {"?.txt", "\xE9.txt", true},
        {"caf?", "caf\xE9", true}, {"caf??", "caf\xE9", false},
        // A star backtracks.
        {"a*b*c", "aXbYbZc", true}, {"a*b*c", "abcb", false}, {"*ab", "aab", true}, {"**x", "x", true},
        {"*x*", "abc", false},
        // Dot-star also finds the name without extension.
        {"a.*", "a", true}, {"A.*", "a.txt", true}, {"a.*", "a.", true}, {"a.*", "ab", false}, {"a.*", "ba", false},
        {"data*.*", "data2026", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchMask(c.mask, c.name), c.matches) << "mask " << c.mask << ", name " << c.name;
}

}  // namespace
}  // namespace renvo
