// Hive files that cannot be parsed: kept aside with one notice, never overwritten, never a crash.

#include "platform/FileSys.h"
#include "platform/Hive.h"
#include "registry/HiveTestUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace renvo::test {
namespace {

const std::string kValidHive =
    "REGEDIT4\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n"
    "\"MirTopFolder\"=\"/home/me/Mirrored \\\"Files\\\"\"\n"
    "\"Mirroring\"=dword:00000001\n"
    "\"Interval\"=hex:55,55,55,55,55,55,95,3f,55,55,55,55,55,55,95,3f,55,55,55,55,55,55,\\\n"
    "  95,3f\n"
    "@=hex(2):41,00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo\\Sub]\n"
    "\"x\"=hex(7):61,00,00\n\n";

struct CorruptCase {
    const char* label;
    std::string text;
};

class HiveCorrupt : public HiveTest, public ::testing::WithParamInterface<CorruptCase> {
protected:
    std::vector<std::string> keptAside()
    {
        std::vector<std::string> kept;
        for (const std::string& n : listFolder(folder)) {
            if (n.rfind("user.reg.corrupt-", 0) == 0)
                kept.push_back(folder + "/" + n);
        }
        return kept;
    }
};

TEST_P(HiveCorrupt, ReadingKeepsTheFileAsideAndTellsOnce)
{
    const std::string text = GetParam().text;
    writeHive(text);
    TRegistry reg(hive);
    EXPECT_FALSE(reg.KeyExists("\\Software\\Tovan\\Renvo"));

    auto notice = TRegistry::takeCorruptHiveNotice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->hivePath, hive);
    EXPECT_EQ(readFile(notice->keptAsPath), text);
    EXPECT_EQ(keptAside(), std::vector<std::string>{notice->keptAsPath});
    EXPECT_FALSE(TRegistry::takeCorruptHiveNotice());

    // The program goes on with an empty hive; the kept file stays as it was.
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));
    ASSERT_TRUE(reg.WriteInteger("Mirroring", 0));
    EXPECT_FALSE(TRegistry::takeCorruptHiveNotice());
    EXPECT_EQ(readFile(notice->keptAsPath), text);
    EXPECT_TRUE(Hive::parse(readFile(hive)).has_value());
}

TEST_P(HiveCorrupt, WritingFirstNeverOverwritesIt)
{
    const std::string text = GetParam().text;
    writeHive(text);
    TRegistry reg(hive);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tovan\\Renvo", true));
    ASSERT_TRUE(reg.WriteString("LogFile", "/tmp/log.txt"));
    auto notice = TRegistry::takeCorruptHiveNotice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(readFile(notice->keptAsPath), text);
    EXPECT_NE(readFile(hive).find("\"LogFile\"=\"/tmp/log.txt\""), std::string::npos);
}

// Each damaged form next to the valid hive it was made from.
INSTANTIATE_TEST_SUITE_P(
    Forms, HiveCorrupt,
    ::testing::Values(
        CorruptCase{"CutMidValue", kValidHive.substr(0, kValidHive.find("dword:") + 9)},
        CorruptCase{"CutInsideContinuation", kValidHive.substr(0, kValidHive.find("  95,3f"))},
        CorruptCase{"CutInsideText", kValidHive.substr(0, kValidHive.find("Mirrored")) + "\n"},
        CorruptCase{"WrongHeader", "Windows Registry Editor Version 5.00\n" + kValidHive.substr(9)},
        CorruptCase{"NoHeader", kValidHive.substr(10)},
        CorruptCase{"BadHex", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"b\"=hex:01,0g\n"},
        CorruptCase{"ShortDword", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"b\"=dword:1\n"},
        CorruptCase{"OtherRoot", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n"},
        CorruptCase{"ValueBeforeSection", "REGEDIT4\n\"b\"=dword:00000001\n"},
        CorruptCase{"UnknownEscape", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"b\"=\"a\\tb\"\n"},
        CorruptCase{"Garbage", std::string("\x7f" "ELF\x02\x01\x01\0\0\0garbage\xff\xfe\n", 20)},
        CorruptCase{"NulInsideValid", kValidHive.substr(0, 40) + std::string(1, '\0') + kValidHive.substr(40)}),
    [](const ::testing::TestParamInfo<CorruptCase>& info) { return std::string(info.param.label); });

TEST_F(HiveTest, EachCorruptFileIsKeptUnderItsOwnName)
{
    TRegistry reg(hive);
    std::vector<std::string> kept;
    for (int i = 0; i < 3; ++i) {
        writeHive("REGEDIT4\n[oops " + std::to_string(i) + "\n");
        EXPECT_FALSE(reg.KeyExists("\\Software"));
        auto notice = TRegistry::takeCorruptHiveNotice();
        ASSERT_TRUE(notice);
        kept.push_back(notice->keptAsPath);
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(std::unique(kept.begin(), kept.end()), kept.end());
    for (int i = 0; i < 3; ++i) {
        bool found = false;
        for (const std::string& path : kept)
            found = found || readFile(path) == "REGEDIT4\n[oops " + std::to_string(i) + "\n";
        EXPECT_TRUE(found) << i;
    }
}

TEST_F(HiveTest, EmptyFileIsAnEmptyHiveWithoutNotice)
{
    writeHive("");
    TRegistry reg(hive);
    EXPECT_FALSE(reg.KeyExists("\\Software"));
    EXPECT_FALSE(TRegistry::takeCorruptHiveNotice());
    ASSERT_TRUE(reg.OpenKey("\\Software", true));
    EXPECT_EQ(readFile(hive), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n");
}

TEST_F(HiveTest, NoFileInTheHivesPlaceIsAnUnreadableHiveLeftWhereItIs)
{
    // A FIFO (opened by no writer, so a read that waited would hang) and a folder.
    ::mkdir(folder.c_str(), 0700);
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "fifo" : "folder");
        ASSERT_EQ(fifo ? ::mkfifo(hive.c_str(), 0600) : ::mkdir(hive.c_str(), 0700), 0);
        TRegistry reg(hive);
        EXPECT_FALSE(reg.KeyExists("\\Software"));
        errno = 0;
        EXPECT_FALSE(reg.OpenKey("\\Software", true));
        EXPECT_EQ(errno, fifo ? EINVAL : EISDIR);
        EXPECT_FALSE(TRegistry::takeCorruptHiveNotice());
        struct stat st {};
        ASSERT_EQ(::lstat(hive.c_str(), &st), 0);
        EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode));
        EXPECT_EQ(listFolder(folder), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
        ASSERT_EQ(fifo ? ::unlink(hive.c_str()) : ::rmdir(hive.c_str()), 0);
    }

    // A file where the hive's folder should be.
    ASSERT_EQ(::unlink((folder + "/user.reg.lock").c_str()), 0);
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    writeFile(folder, "not a folder");
    TRegistry reg(hive);
    EXPECT_FALSE(reg.KeyExists("\\Software"));
    errno = 0;
    EXPECT_FALSE(reg.OpenKey("\\Software", true));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(readFile(folder), "not a folder");
}

// Far larger than any hive of ours: not parsed, and kept aside like a damaged one.
TEST_F(HiveTest, OversizedFileIsKeptAside)
{
    writeHive("REGEDIT4\n");
    ASSERT_EQ(::truncate(hive.c_str(), (off_t(64) << 20) + 1), 0);
    TRegistry reg(hive);
    EXPECT_FALSE(reg.KeyExists("\\Software"));
    auto notice = TRegistry::takeCorruptHiveNotice();
    ASSERT_TRUE(notice);
    struct stat st {};
    ASSERT_EQ(::stat(notice->keptAsPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, (off_t(64) << 20) + 1);
    EXPECT_FALSE(pathExists(hive));

}

// Every cut and every single-byte change of a valid hive parses or is refused; nothing crashes,
// and whatever parses writes out text that parses to the same text again.
TEST(HiveParse, DamagedTextsNeverCrashAndStayStable)
{
    auto check = [](const std::string& text) {
        auto hive = Hive::parse(text);
        if (!hive)
            return;
        std::string once = hive->toText();
        auto again = Hive::parse(once);
        ASSERT_TRUE(again) << once;
        EXPECT_EQ(again->toText(), once);
    };
    for (size_t cut = 0; cut <= kValidHive.size(); ++cut)
        check(kValidHive.substr(0, cut));
    const char replacements[] = {'\0', '\n', '\\', '"', '[', ']', ',', ':', '=', '@', 'x', '\xff'};
    for (size_t i = 0; i < kValidHive.size(); ++i) {
        for (char c : replacements) {
            std::string damaged = kValidHive;
            damaged[i] = c;
            check(damaged);
        }
    }
    ASSERT_TRUE(Hive::parse(kValidHive));
}

TEST(HiveParse, KeysDeeperThanTheRegistryAllowsAreRefused)
{
    std::string path;
    for (size_t i = 0; i < Hive::kMaxDepth; ++i)
        path += "\\k";
    EXPECT_TRUE(Hive::parse("REGEDIT4\n[HKEY_CURRENT_USER" + path + "]\n"));
    EXPECT_FALSE(Hive::parse("REGEDIT4\n[HKEY_CURRENT_USER" + path + "\\k]\n"));
}

}  // namespace
}  // namespace renvo::test
