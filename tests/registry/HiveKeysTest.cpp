// Keys and values through TRegistry: missing versus present, enumeration and deletion.

#include <cerrno>

#include "registry/HiveTestUtil.h"

namespace renvo::test {
namespace {

using HiveKeys = HiveTest;

TEST_F(HiveKeys, MissingAndPresentValuesAreTold)
{
    TRegistry reg(hive);
    // No hive file and no folder yet: nothing exists, and nothing is created by looking.
    EXPECT_FALSE(reg.KeyExists("\\Software\\Tovan\\Renvo"));
    EXPECT_FALSE(reg.OpenKey("\\Software\\Tovan\\Renvo", false));
    EXPECT_FALSE(reg.hasCurrentKey());
    EXPECT_FALSE(reg.ReadValue("Mirroring"));
    EXPECT_TRUE(listFolder(tmp.path()).empty());

    // Opening with create stores the key even before any value is written.
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));
    EXPECT_TRUE(TRegistry(hive).KeyExists("\\Software\\Tovan\\Renvo"));
    EXPECT_FALSE(reg.ValueExists("Mirroring"));

    ASSERT_TRUE(reg.WriteInteger("Mirroring", 0));
    EXPECT_TRUE(reg.ValueExists("Mirroring"));
    EXPECT_TRUE(reg.ValueExists("MIRRORING"));
    EXPECT_FALSE(reg.ValueExists("Interval"));
    auto v = reg.ReadValue("Mirroring");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, uint32_t(REG_DWORD));
    EXPECT_EQ(v->data.size(), 4u);

    ASSERT_TRUE(reg.DeleteValue("mirroring"));
    EXPECT_FALSE(reg.ValueExists("Mirroring"));
    errno = 0;
    EXPECT_FALSE(reg.DeleteValue("Mirroring"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(reg.KeyExists("\\Software\\Tovan\\Renvo"));
}

TEST_F(HiveKeys, WritesWithoutAnOpenKeyOrWithUnstorableNamesFail)
{
    TRegistry reg(hive);
    errno = 0;
    EXPECT_FALSE(reg.WriteInteger("x", 1));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(reg.OpenKey("\\Software\\\\Tovan", true));  // empty key name
    EXPECT_FALSE(reg.OpenKey("\\Software\\Line\nBreak", true));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));
    EXPECT_FALSE(reg.WriteString("two\nlines", "x"));
    EXPECT_EQ(reg.GetKeyNames("\\Software\\Tovan"), std::vector<std::string>{"Renvo"});
}

TEST_F(HiveKeys, SubkeysAreListedAndDeletedOnlyWhenEmpty)
{
    TRegistry reg(hive);
    for (const char* key : {"\\Software\\Tovan\\Renvo\\Layout\\Columns", "\\Software\\Tovan\\Renvo\\Cache",
                            "\\Software\\Tovan\\Other"}) {
        ASSERT_TRUE(reg.OpenKey(key, true)) << key;
        ASSERT_TRUE(reg.WriteInteger("v", 1));
    }
    reg.CloseKey();
    EXPECT_EQ(reg.GetKeyNames("\\Software\\Tovan\\Renvo"), (std::vector<std::string>{"Layout", "Cache"}));
    EXPECT_EQ(reg.GetKeyNames("Software"), std::vector<std::string>{"Tovan"});
    EXPECT_TRUE(reg.GetKeyNames("\\Software\\Nowhere").empty());

    errno = 0;
    EXPECT_FALSE(reg.DeleteKey("\\Software\\Tovan\\Renvo"));
    EXPECT_EQ(errno, ENOTEMPTY);
    EXPECT_TRUE(reg.KeyExists("\\Software\\Tovan\\Renvo\\Layout\\Columns"));

    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"Layout", "Cache"}));
    EXPECT_TRUE(reg.DeleteKey("Layout\\Columns"));  // relative to the open key
    EXPECT_TRUE(reg.DeleteKey("\\Software\\Tovan\\Renvo\\LAYOUT"));
    EXPECT_TRUE(reg.DeleteKey("Cache"));
    errno = 0;
    EXPECT_FALSE(reg.DeleteKey("Cache"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(reg.GetKeyNames().empty());
    EXPECT_TRUE(reg.DeleteKey("\\Software\\Tovan\\Renvo"));

    // Writing through a handle whose key was deleted brings the key back.
    EXPECT_FALSE(reg.KeyExists("\\Software\\Tovan\\Renvo"));
    EXPECT_FALSE(reg.ValueExists("v"));
    EXPECT_TRUE(reg.WriteInteger("v", 2));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Tovan\\Renvo"));

    TRegistry fresh(hive);
    EXPECT_EQ(fresh.GetKeyNames("\\Software\\Tovan"), (std::vector<std::string>{"Other", "Renvo"}));
    EXPECT_FALSE(fresh.DeleteKey("\\"));
    EXPECT_TRUE(fresh.KeyExists("\\Software"));
}

}  // namespace
}  // namespace renvo::test
