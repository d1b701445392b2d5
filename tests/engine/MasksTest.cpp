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

TEST(MatchMask, StarDotStarMatchesEveryName)
{
    for (const char* name : {"README", "a.txt", ".profile", "x.tar.gz", "\xE8\xA1\xA8"}) {
        EXPECT_TRUE(matchMask("*.*", name)) << name;
        EXPECT_TRUE(matchMask("*", name)) << name;
    }
    EXPECT_FALSE(matchMask("", "a.txt"));
    EXPECT_FALSE(matchMask("", ""));
}

TEST(MatchMask, ExtensionsIgnoreLetterCase)
{
    EXPECT_TRUE(matchMask("*.txt", "a.txt"));
    EXPECT_TRUE(matchMask("*.txt", "NOTES.TXT"));
    EXPECT_TRUE(matchMask("*.TXT", "notes.Txt"));
    EXPECT_TRUE(matchMask("*.txt", ".txt"));
    EXPECT_TRUE(matchMask("*.txt", "a.b.txt"));
    EXPECT_FALSE(matchMask("*.txt", "a.txt.bak"));
    EXPECT_FALSE(matchMask("*.txt", "atxt"));
    EXPECT_FALSE(matchMask("*.txt", "a.tx"));
    EXPECT_TRUE(matchMask("Report*.doc", "report 2026.DOC"));
    EXPECT_FALSE(matchMask("Report*.doc", "my report.doc"));
    // Only ASCII letters fold: É and é stay different.
    EXPECT_FALSE(matchMask("\xC3\x89.txt", "\xC3\xA9.txt"));
}

TEST(MatchMask, QuestionMarkIsOneWholeCharacter)
{
    EXPECT_TRUE(matchMask("?.txt", "a.txt"));
    EXPECT_TRUE(matchMask("?.txt", "\xC3\xA9.txt"));      // é, two bytes
    EXPECT_TRUE(matchMask("?.txt", "\xE8\xA1\xA8.txt"));  // 表, three bytes
    EXPECT_TRUE(matchMask("?.txt", "\xF0\x9F\x93\x84.txt"));  // four bytes
    EXPECT_FALSE(matchMask("??.txt", "\xE8\xA1\xA8.txt"));
    EXPECT_FALSE(matchMask("?.txt", "ab.txt"));
    EXPECT_FALSE(matchMask("?.txt", ".txt"));
    EXPECT_TRUE(matchMask("a?c", "a\xE8\xA1\xA8" "c"));
    // A star steps over whole characters too before a literal.
    EXPECT_TRUE(matchMask("*\xE8\xA1\xA8", "\xE8\xA1\xA8\xE8\xA1\xA8"));
    EXPECT_TRUE(matchMask("*?", "\xE8\xA1\xA8"));
}

TEST(MatchMask, NamesThatAreNoValidUtf8)
{
    // A Latin-1 "é" (E9) is one byte with nothing following that could belong to it.
    EXPECT_TRUE(matchMask("*.txt", "caf\xE9.txt"));
    EXPECT_TRUE(matchMask("*.txt", "\xE9.txt"));
    EXPECT_TRUE(matchMask("?.txt", "\xE9.txt"));
    EXPECT_TRUE(matchMask("caf?", "caf\xE9"));
    EXPECT_FALSE(matchMask("caf??", "caf\xE9"));
}

TEST(MatchMask, StarBacktracks)
{
    EXPECT_TRUE(matchMask("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(matchMask("a*b*c", "abcb"));
    EXPECT_TRUE(matchMask("*ab", "aab"));
    EXPECT_TRUE(matchMask("**x", "x"));
    EXPECT_FALSE(matchMask("*x*", "abc"));
}

TEST(MatchMask, DotStarAlsoFindsTheNameWithoutExtension)
{
    EXPECT_TRUE(matchMask("a.*", "a"));
    EXPECT_TRUE(matchMask("A.*", "a.txt"));
    EXPECT_TRUE(matchMask("a.*", "a."));
    EXPECT_FALSE(matchMask("a.*", "ab"));
    EXPECT_FALSE(matchMask("a.*", "ba"));
    EXPECT_TRUE(matchMask("data*.*", "data2026"));
}

}  // namespace
}  // namespace renvo
