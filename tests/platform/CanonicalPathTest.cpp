// Paths compared for what they name: spellings, links and parts that do not exist yet.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "common/TempDir.h"
#include "platform/CanonicalPath.h"

namespace renvo::test {
namespace {

TEST(CanonicalPath, SpellingsOfOneFolderAreOne)
{
    TempDir tmp;
    std::filesystem::create_directories(tmp / "src/backup");
    const std::string real = canonicalPath(tmp / "src/backup");
    for (const std::string& spelled : {tmp / "src//backup", tmp / "src/./backup", tmp / "src/backup/",
                                       tmp / "src/x/../backup", tmp / "src/backup/."})
        EXPECT_EQ(canonicalPath(spelled), real) << spelled;

    ASSERT_EQ(::symlink((tmp / "src").c_str(), (tmp / "link").c_str()), 0);
    EXPECT_EQ(canonicalPath(tmp / "link/backup"), real) << "a link names its target";
    EXPECT_EQ(canonicalPath(tmp / "link/backup/not/yet"), real + "/not/yet") << "the missing part as text";
    EXPECT_EQ(canonicalPath(tmp / "link/backup/not/../yet//"), real + "/yet");
    EXPECT_EQ(canonicalPath(""), "");
}

TEST(CanonicalPath, InsideMeansBelowWholeParts)
{
    EXPECT_TRUE(isSameOrInside("/a/b", "/a/b"));
    EXPECT_TRUE(isSameOrInside("/a/b/c", "/a/b"));
    EXPECT_FALSE(isSameOrInside("/a/bc", "/a/b")) << "a name that only begins alike";
    EXPECT_FALSE(isSameOrInside("/a", "/a/b"));
    EXPECT_TRUE(isSameOrInside("/a", "/"));
    EXPECT_TRUE(isSameOrInside("/", "/"));
    EXPECT_FALSE(isSameOrInside("/a", ""));
}

}  // namespace
}  // namespace renvo::test
