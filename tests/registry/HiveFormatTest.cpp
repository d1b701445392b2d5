// The hive file's text: what is written, what is read back, and hand-written files.

#include <cstdlib>

#include "registry/HiveTestUtil.h"

namespace renvo::test {
namespace {

using HiveFormat = HiveTest;

TEST_F(HiveFormat, SettingsValuesAreWrittenInTheDocumentedForm)
{
    TRegistry reg = openRenvo();
    const uint8_t interval[8] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x95, 0x3f};
    const uint8_t folderOption = 1;
    ASSERT_TRUE(reg.WriteString("MirTopFolder", "/home/me/Mirrored Files"));
    ASSERT_TRUE(reg.WriteInteger("Mirroring", 1));
    ASSERT_TRUE(reg.WriteBinary("Interval", interval, sizeof interval));
    ASSERT_TRUE(reg.WriteBinary("FolderOption", &folderOption, 1));

    EXPECT_EQ(readFile(hive),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tovan]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n"
              "\"MirTopFolder\"=\"/home/me/Mirrored Files\"\n"
              "\"Mirroring\"=dword:00000001\n"
              "\"Interval\"=hex:55,55,55,55,55,55,95,3f\n"
              "\"FolderOption\"=hex:01\n"
              "\n");
}

TEST_F(HiveFormat, EveryValueTypeSurvivesTheFile)
{
    std::vector<uint8_t> longBinary;
    for (int i = 0; i < 300; ++i)
        longBinary.push_back(uint8_t(i * 7));
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"Text", sz("C:\\dir\\\"quoted\" \\\\server\\ end\\")},
        {"Japanese", sz("ミラーリング先 \\ フォルダ「テスト」")},
        {"Empty", sz("")},
        {"Expand", RegValue{REG_EXPAND_SZ, toBytes(std::string("%HOME%/x\0", 9))}},
        {"Minus", RegValue{REG_DWORD, {0xfe, 0xff, 0xff, 0xff}}},
        {"Long", RegValue{REG_BINARY, longBinary}},
        {"NoBytes", RegValue{REG_BINARY, {}}},
        {"MultiSz", RegValue{7, toBytes(std::string("a\0b\0\0", 5))}},
        {"Qword", RegValue{11, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"None", RegValue{REG_NONE, {0xab}}},
        // Forms the quoted text cannot carry keep their bytes as hex(1)/hex(4).
        {"TwoLines", sz("line 1\r\nline 2")},
        {"Unterminated", RegValue{REG_SZ, toBytes("abc")}},
        {"ShortDword", RegValue{REG_DWORD, {1, 2}}},
        {"", sz("the default value")},
        {"name \"with\" \\ quotes", sz("v")},
    };
    {
        TRegistry reg = openRenvo();
        for (const auto& [name, value] : values)
            ASSERT_TRUE(reg.WriteValue(name, value)) << name;
    }
    TRegistry reg = openRenvo(false);
    for (const auto& [name, value] : values) {
        auto read = reg.ReadValue(name);
        ASSERT_TRUE(read.has_value()) << name;
        EXPECT_EQ(read->type, value.type) << name;
        EXPECT_EQ(read->data, value.data) << name;
    }

    std::string text = readFile(hive);
    EXPECT_NE(text.find("\"Text\"=\"C:\\\\dir\\\\\\\"quoted\\\" \\\\\\\\server\\\\ end\\\\\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,48,4f,4d,45,25,2f,78,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Minus\"=dword:fffffffe\n"), std::string::npos);
    EXPECT_NE(text.find("\"Qword\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"the default value\"\n"), std::string::npos);
    // Long lists are continued over lines that stay readable.
    EXPECT_NE(text.find(",\\\n  "), std::string::npos);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        start = end + 1;
    }
}

TEST_F(HiveFormat, HandWrittenFileWithCrLfAndImpliedParentsIsRead)
{
    writeHive("REGEDIT4\r\n"
              "\r\n"
              "; written by hand\r\n"
              "[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo\\Sub]\r\n"
              "\"Deep\"=dword:0000000a\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]   \r\n"
              "  \"Blob\" = hex:01,02,\\\r\n"
              "    03,0A\r\n"
              "@=\"default\"\r\n"
              "\"Path\"=\"a\\\\b \\\"c\\\"\"\r\n");
    TRegistry reg(hive);
    EXPECT_TRUE(reg.KeyExists("\\Software"));
    EXPECT_TRUE(reg.KeyExists("Software\\Tovan"));
    EXPECT_EQ(reg.GetKeyNames("\\Software\\Tovan"), std::vector<std::string>{"Renvo"});

    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", false));
    EXPECT_EQ(reg.ReadValue("Blob")->data, (std::vector<uint8_t>{1, 2, 3, 10}));
    EXPECT_EQ(reg.ReadValue("Blob")->type, uint32_t(REG_BINARY));
    EXPECT_EQ(reg.ReadValue("")->data, sz("default").data);
    EXPECT_EQ(reg.ReadValue("Path")->data, sz("a\\b \"c\"").data);
    ASSERT_TRUE(reg.OpenKey("Sub", false));  // relative to the open key
    EXPECT_EQ(reg.ReadValue("deep")->data, (std::vector<uint8_t>{10, 0, 0, 0}));
    EXPECT_FALSE(TRegistry::takeCorruptHiveNotice());

    // A change rewrites the file with LF line ends and every key as its own section.
    ASSERT_TRUE(reg.WriteInteger("Deep", 11));
    std::string text = readFile(hive);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find(';'), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Tovan]\n"), std::string::npos);
    EXPECT_LT(text.find("[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n"),
              text.find("[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo\\Sub]\n"));
}

TEST_F(HiveFormat, KeysAndValuesKeepTheirOrder)
{
    writeHive("REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Tovan\\Zeta]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Tovan\\Alpha]\n"
              "\"z\"=dword:00000001\n"
              "\"a\"=dword:00000002\n\n");
    {
        TRegistry reg(hive);
        ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Middle", true));
        ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Alpha", false));
        ASSERT_TRUE(reg.WriteInteger("m", 3));
        ASSERT_TRUE(reg.WriteInteger("Z", 4));  // same value, other letter case: replaced in place
    }
    TRegistry reg(hive);
    EXPECT_EQ(reg.GetKeyNames("\\Software\\Tovan"),
              (std::vector<std::string>{"Zeta", "Alpha", "Middle"}));
    std::string text = readFile(hive);
    size_t z = text.find("\"z\"=dword:00000004"), a = text.find("\"a\"="), m = text.find("\"m\"=");
    ASSERT_NE(z, std::string::npos);
    EXPECT_LT(z, a);
    EXPECT_LT(a, m);
}

TEST_F(HiveFormat, UserHiveFollowsXdgConfigHome)
{
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    std::string saved = oldXdg ? oldXdg : "";
    ::setenv("XDG_CONFIG_HOME", tmp.path().c_str(), 1);
    EXPECT_EQ(userHivePath(), tmp.path() + "/Tovan/user.reg");
    {
        TRegistry reg;  // no path: the user's hive
        ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));
        ASSERT_TRUE(reg.WriteInteger("Mirroring", 1));
    }
    EXPECT_NE(readFile(tmp / "Tovan/user.reg").find("\"Mirroring\"=dword:00000001"),
              std::string::npos);

    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(userHivePath(), std::string(home) + "/.config/Tovan/user.reg");
    }
    if (oldXdg)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace renvo::test
