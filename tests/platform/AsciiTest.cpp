#include "platform/Ascii.h"

#include <gtest/gtest.h>

namespace renvo::test {
namespace {

TEST(AsciiCase, OnlyTheLettersAToZFold)
{
    EXPECT_EQ(foldAscii("Software\\Tovan\\RENVO"), "software\\tovan\\renvo");
    EXPECT_TRUE(sameTextIgnoreCase("MirTopFolder", "MIRTOPFOLDER"));
    EXPECT_FALSE(sameTextIgnoreCase("MirTopFolder", "MirTopFolde"));
    // Neighbours of the letters differ by the same bit but are no letters.
    EXPECT_FALSE(sameTextIgnoreCase("@[\\]^_", "`{|}~\x7f"));
    // Bytes of other characters stay exact: "É" (C3 89) is not "é" (C3 A9).
    EXPECT_FALSE(sameTextIgnoreCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_EQ(foldAscii("\xC3\x89\xC3\xA9"), "\xC3\x89\xC3\xA9");
}

TEST(AsciiCase, OrderIsByUnsignedFoldedBytes)
{
    EXPECT_LT(compareTextIgnoreCase("apple", "Banana"), 0);
    EXPECT_GT(compareTextIgnoreCase("Banana", "apple"), 0);
    EXPECT_EQ(compareTextIgnoreCase("ABC", "abc"), 0);
    EXPECT_LT(compareTextIgnoreCase("ab", "ABC"), 0);  // a prefix comes first
    EXPECT_GT(compareTextIgnoreCase("\xE9", "z"), 0);   // bytes above 0x7F are large
    EXPECT_LT(compareTextIgnoreCase("_", "a"), 0);      // '_' (5F) before 'a' (61), not after 'A'
}

}  // namespace
}  // namespace renvo::test
