#include "settings/QRegEx.h"

#include "SettingsFixture.h"
#include "common/Privileges.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace renvo::test {
namespace {

// The hive path is taken when the object is made, so make it after XDG_CONFIG_HOME is set.
TQRegEx openSettingsKey()
{
    TQRegEx reg;
    EXPECT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));
    return reg;
}

template <typename F>
std::string thrownText(F&& f)
{
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

TEST_F(HiveTest, QRegExMissingValuesGiveDefaultsAndLeaveBuffersAlone)
{
    TQRegEx reg = openSettingsKey();
    bool b = false;
    int32_t i = 0;
    std::string s;
    double t = 0;
    EXPECT_FALSE(reg.ReadBoolDef("B", b, true));
    EXPECT_TRUE(b);
    EXPECT_FALSE(reg.ReadIntegerDef("I", i, -7));
    EXPECT_EQ(i, -7);
    EXPECT_FALSE(reg.ReadStringDef("S", s, "def"));
    EXPECT_EQ(s, "def");
    EXPECT_FALSE(reg.ReadTimeDef("T", t, 0.25));
    EXPECT_EQ(t, 0.25);
    std::array<uint8_t, 4> buf{9, 9, 9, 9};
    EXPECT_EQ(reg.ReadBinaryIfExists("R", buf.data(), buf.size()), 0u);
    EXPECT_FALSE(reg.ReadBinaryDef("R", buf.data(), buf.size()));
    EXPECT_EQ(buf, (std::array<uint8_t, 4>{9, 9, 9, 9}));
}

TEST_F(HiveTest, QRegExReadsOnlyTheTypeItExpects)
{
    writeSettingsKey("\"Dw\"=dword:00000002\n"
                     "\"Neg\"=dword:fffffffb\n"
                     "\"Sz\"=\"text\"\n"
                     "\"Exp\"=hex(2):24,48,4f,4d,45,2f,78,00\n"
                     "\"Cut\"=hex(1):61,62,00,63,64,00\n"
                     "\"Bin7\"=hex:01,02,03,04,05,06,07\n"
                     "\"Bin9\"=hex:01,02,03,04,05,06,07,08,09\n"
                     "\"Multi\"=hex(7):61,00,00\n"
                     "\"Short\"=hex(4):01,00\n");
    TQRegEx reg = openSettingsKey();

    bool b = false;
    int32_t i = 0;
    EXPECT_TRUE(reg.ReadBoolDef("Dw", b, false));
    EXPECT_TRUE(b);  // any non-zero is true
    EXPECT_TRUE(reg.ReadIntegerDef("Neg", i, 0));
    EXPECT_EQ(i, -5);

    std::string s;
    EXPECT_TRUE(reg.ReadStringDef("Exp", s, ""));
    EXPECT_EQ(s, "$HOME/x");  // never expanded
    EXPECT_TRUE(reg.ReadStringDef("Cut", s, ""));
    EXPECT_EQ(s, "ab");  // up to the first zero byte

    // Raw reads take any other type and fill only the stored bytes.
    std::array<uint8_t, 8> buf{};
    buf.fill(0xEE);
    EXPECT_EQ(reg.ReadBinaryIfExists("Bin7", buf.data(), buf.size()), 7u);
    EXPECT_EQ(buf, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 0xEE}));
    EXPECT_EQ(reg.ReadBinaryIfExists("Multi", buf.data(), buf.size()), 3u);

    // Everything else is a type error, and the out value stays as it was.
    i = 42;
    double t = 1.5;
    EXPECT_EQ(thrownText([&] { reg.ReadIntegerDef("Sz", i, 0); }), "'Sz' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadIntegerDef("Bin7", i, 0); }), "'Bin7' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadIntegerDef("Short", i, 0); }), "'Short' のデータ型が不正です");
    EXPECT_EQ(i, 42);
    EXPECT_EQ(thrownText([&] { reg.ReadBoolDef("Sz", b, false); }), "'Sz' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadStringDef("Dw", s, ""); }), "'Dw' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadStringDef("Bin7", s, ""); }), "'Bin7' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadTimeDef("Dw", t, 0); }), "'Dw' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadTimeDef("Bin7", t, 0); }), "'Bin7' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadTimeDef("Bin9", t, 0); }), "'Bin9' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadTimeDef("Multi", t, 0); }), "'Multi' のデータ型が不正です");
    EXPECT_EQ(t, 1.5);
    buf.fill(0xEE);
    EXPECT_EQ(thrownText([&] { reg.ReadBinaryDef("Bin9", buf.data(), buf.size()); }),
              "'Bin9' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadBinaryDef("Dw", buf.data(), buf.size()); }),
              "'Dw' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadBinaryDef("Sz", buf.data(), buf.size()); }),
              "'Sz' のデータ型が不正です");
    EXPECT_EQ(thrownText([&] { reg.ReadBinaryDef("Exp", buf.data(), buf.size()); }),
              "'Exp' のデータ型が不正です");
    EXPECT_EQ(buf[0], 0xEE);
}

TEST_F(HiveTest, QRegExWritesEachEncodingAndReadsItBack)
{
    {
        TQRegEx reg = openSettingsKey();
        reg.StoreBool("On", true);
        reg.StoreBool("Off", false);
        reg.StoreInteger("Neg", -5);
        reg.StoreString("Path", "/home/me/\"Mirrored\" Files");
        reg.StoreTime("Half", 30.0 / 1440);
        reg.StoreTime("Five", 5.0 / 1440);
        const uint8_t raw[2] = {0x00, 0xFF};
        reg.StoreBinary("Raw", raw, sizeof raw);
    }
    EXPECT_TRUE(hiveHasLine("\"On\"=dword:00000001"));
    EXPECT_TRUE(hiveHasLine("\"Off\"=dword:00000000"));
    EXPECT_TRUE(hiveHasLine("\"Neg\"=dword:fffffffb"));
    EXPECT_TRUE(hiveHasLine("\"Path\"=\"/home/me/\\\"Mirrored\\\" Files\""));
    EXPECT_TRUE(hiveHasLine("\"Half\"=hex:55,55,55,55,55,55,95,3f"));
    EXPECT_TRUE(hiveHasLine("\"Five\"=hex:1c,c7,71,1c,c7,71,6c,3f"));
    EXPECT_TRUE(hiveHasLine("\"Raw\"=hex:00,ff"));

    TQRegEx reg = openSettingsKey();
    bool b = false;
    int32_t i = 0;
    std::string s;
    double t = 0;
    EXPECT_TRUE(reg.ReadBoolDef("On", b, false));
    EXPECT_TRUE(b);
    EXPECT_TRUE(reg.ReadBoolDef("Off", b, true));
    EXPECT_FALSE(b);
    EXPECT_TRUE(reg.ReadIntegerDef("Neg", i, 0));
    EXPECT_EQ(i, -5);
    EXPECT_TRUE(reg.ReadStringDef("Path", s, ""));
    EXPECT_EQ(s, "/home/me/\"Mirrored\" Files");
    EXPECT_TRUE(reg.ReadTimeDef("Half", t, 0));
    EXPECT_EQ(t, 30.0 / 1440);
    std::array<uint8_t, 2> raw{};
    EXPECT_EQ(reg.ReadBinaryIfExists("Raw", raw.data(), raw.size()), 2u);
    EXPECT_EQ(raw, (std::array<uint8_t, 2>{0x00, 0xFF}));
}

// A value that cannot be read because the hive cannot be: told as such, never taken for a
// missing value (which would put a default in its place).
TEST_F(HiveTest, QRegExUnreadableHiveRaisesTheGetFailedText)
{
    TQRegEx reg = openSettingsKey();
    reg.StoreInteger("I", 7);
    reg.StoreString("S", "kept");
    const std::string saved = readFile(hivePath());

    ASSERT_EQ(::unlink(hivePath().c_str()), 0);
    ASSERT_EQ(::mkdir(hivePath().c_str(), 0700), 0);
    int32_t i = 42;
    std::string s = "before";
    EXPECT_EQ(thrownText([&] { reg.ReadIntegerDef("I", i, 0); }), "'I' の取得に失敗しました");
    EXPECT_EQ(thrownText([&] { reg.ReadStringDef("S", s, "def"); }), "'S' の取得に失敗しました");
    EXPECT_EQ(thrownText([&] { reg.ReadIntegerDef("Missing", i, 0); }), "'Missing' の取得に失敗しました");
    EXPECT_EQ(i, 42);
    EXPECT_EQ(s, "before");
    ASSERT_EQ(::rmdir(hivePath().c_str()), 0);

    // A hive that is gone is an empty one: defaults, no error.
    EXPECT_FALSE(reg.ReadIntegerDef("I", i, -1));
    EXPECT_EQ(i, -1);

    writeFile(hivePath(), saved);
    EXPECT_TRUE(reg.ReadIntegerDef("I", i, 0));
    EXPECT_EQ(i, 7);
    ASSERT_EQ(::chmod(hivePath().c_str(), 0), 0);
    WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "file modes do not bind this process";
    i = 42;
    EXPECT_EQ(thrownText([&] { reg.ReadIntegerDef("I", i, 0); }), "'I' の取得に失敗しました");
    std::array<uint8_t, 4> buf{9, 9, 9, 9};
    EXPECT_EQ(thrownText([&] { reg.ReadBinaryIfExists("R", buf.data(), buf.size()); }),
              "'R' の取得に失敗しました");
    EXPECT_EQ(i, 42);
    EXPECT_EQ(buf, (std::array<uint8_t, 4>{9, 9, 9, 9}));
}

}  // namespace
}  // namespace renvo::test
