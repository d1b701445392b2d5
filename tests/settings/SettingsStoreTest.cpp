#include "settings/SettingsStore.h"

#include "SettingsFixture.h"
#include "common/Privileges.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace renvo::test {
namespace {

const std::string kProg = "/opt/renvo/";

const char kFirstRunText[] =
    "拙作 Renvo を御利用いただき，ありがとうございます\r\n\r\n"
    "このソフトウエアは，その性質上，十分に用語が分かっていないと，\r\n"
    "ファイルの損失等につながるおそれがあります\r\n"
    "分からない用語が出てきましたら，必ずヘルプをご確認願います";
const char kRlfText[] =
    "RLF は仕様が変わり，旧バージョンから異なる値を示すようになっています\r\n"
    "使い始める前に，再度設定して下さい";

using Kinds = std::vector<std::string>;

// Every field away from its default, so a field that is not stored or not read shows.
TSettings unusualSettings()
{
    TSettings s;
    s.MirTopFolder = "/srv/backup/ミラー";
    s.Mirroring = true;
    s.Interval = minutesSpan(90);
    s.MirOnStart = true;
    s.IdleMode = 2;
    s.IdleReserved = {0x11, 0x22, 0x33};
    s.IdleThreshold = 9999;
    s.DelOnNotExists = false;
    s.DelFilesOnDelItem = false;
    s.QueryDelFiles = false;
    s.ShowProgressDialog = false;
    s.Postpone = 0;
    s.FolderOption = 3;
    s.TaskPriority = 0;
    s.LimitHistory = 30;
    s.EveryTimes = 0;
    s.ProgressPosition = 3;
    s.DoneStandard = 12;
    s.LogFile = "/var/log/renvo.txt";
    s.KeepLogFile = false;
    s.LogAppend = true;
    return s;
}

TEST_F(HiveTest, EmptyKeyGivesTheDefaultsAndOneFirstRunMessage)
{
    EXPECT_EQ(LoadSettings(kProg, ui), defaultSettings(kProg));
    ASSERT_EQ(ui.kinds(), Kinds{"firstRun"});
    EXPECT_EQ(ui.shown[0].caption, "作者からのお願い");
    EXPECT_EQ(ui.shown[0].text, kFirstRunText);

    // Other values in the key do not make it a known user: only Mirroring does.
    ui.shown.clear();
    writeSettingsKey("\"ListTop\"=dword:00000064\n\"LogFile\"=\"/x\"\n");
    EXPECT_EQ(LoadSettings(kProg, ui).LogFile, "/x");
    EXPECT_EQ(ui.kinds(), Kinds{"firstRun"});
}

TEST_F(HiveTest, SaveWritesEveryValueInItsEncodingAndLoadReadsItBack)
{
    TSettings d = defaultSettings(kProg);
    d.Mirroring = true;
    ASSERT_TRUE(SaveSettings(d, ui));
    EXPECT_TRUE(hiveHasLine("\"MirTopFolder\"=\"/opt/renvo/Mirrored Files\""));
    EXPECT_TRUE(hiveHasLine("\"Mirroring\"=dword:00000001"));
    EXPECT_TRUE(hiveHasLine("\"Interval\"=hex:55,55,55,55,55,55,95,3f"));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:00,00,00,00,1e,00,00,00"));
    EXPECT_TRUE(hiveHasLine("\"Postpone\"=hex:1c,c7,71,1c,c7,71,6c,3f"));
    EXPECT_TRUE(hiveHasLine("\"FolderOption\"=hex:01"));
    EXPECT_TRUE(hiveHasLine("\"TaskPriority\"=dword:00000005"));
    EXPECT_TRUE(hiveHasLine("\"LogFile\"=\"/opt/renvo/logfile.txt\""));
    EXPECT_EQ(LoadSettings(kProg, ui), d);

    const TSettings u = unusualSettings();
    ASSERT_TRUE(SaveSettings(u, ui));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:02,11,22,33,0f,27,00,00"));
    EXPECT_TRUE(hiveHasLine("\"FolderOption\"=hex:03"));
    EXPECT_TRUE(hiveHasLine("\"DoneStandard\"=dword:0000000c"));
    EXPECT_TRUE(hiveHasLine("\"QueryDelFiles\"=dword:00000000"));
    EXPECT_EQ(LoadSettings(kProg, ui), u);
    EXPECT_TRUE(ui.shown.empty());

    // The nineteen values, in the order they are written.
    const std::string text = readFile(hivePath());
    size_t at = 0;
    for (const char* name :
         {"MirTopFolder", "Mirroring", "Interval", "MirOnStart", "IdleOption", "DelOnNotExists",
          "DelFilesOnDelItem", "QueryDelFiles", "ShowProgressDialog", "Postpone", "FolderOption",
          "TaskPriority", "LimitHistory", "EveryTimes", "ProgressPosition", "DoneStandard",
          "LogFile", "KeepLogFile", "LogAppend"}) {
        const size_t next = text.find("\"" + std::string(name) + "\"=", at);
        ASSERT_NE(next, std::string::npos) << name << " missing or out of order";
        at = next;
    }
}

TEST_F(HiveTest, SavingWhatWasLoadedKeepsItsContent)
{
    writeSettingsKey("\"Mirroring\"=dword:00000002\n"
                     "\"IdleOption\"=hex:01,aa,bb,cc,10,00,00,00\n"
                     "\"LogFile\"=hex(2):2f,6c,00\n");
    const TSettings s = LoadSettings(kProg, ui);
    EXPECT_TRUE(s.Mirroring);
    EXPECT_EQ(s.IdleMode, 1);
    EXPECT_EQ(s.IdleThreshold, 16);
    EXPECT_EQ(s.LogFile, "/l");
    ASSERT_TRUE(SaveSettings(s, ui));
    EXPECT_TRUE(hiveHasLine("\"Mirroring\"=dword:00000001"));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:01,aa,bb,cc,10,00,00,00"));
    EXPECT_TRUE(hiveHasLine("\"LogFile\"=\"/l\""));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(HiveTest, ShortIdleOptionReplacesItsBytesAndKeepsTheDefaultThreshold)
{
    writeSettingsKey("\"Mirroring\"=dword:00000000\n\"IdleOption\"=hex:01,07,08,09\n");
    const TSettings s = LoadSettings(kProg, ui);
    EXPECT_EQ(s.IdleMode, 1);
    EXPECT_EQ(s.IdleReserved, (std::array<uint8_t, 3>{7, 8, 9}));
    EXPECT_EQ(s.IdleThreshold, 30);
    ASSERT_TRUE(SaveSettings(s, ui));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:01,07,08,09,1e,00,00,00"));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(HiveTest, ValuesOfTheWrongTypeTakeTheirDefaultsAndAreNamedOnce)
{
    writeSettingsKey("\"MirTopFolder\"=\"/data/mirror\"\n"
                     "\"Mirroring\"=dword:00000001\n"
                     "\"Interval\"=dword:0000001e\n"
                     "\"Postpone\"=hex:00,00,00,00,00,00,00,00\n"
                     "\"IdleOption\"=hex:01,00,00,00,05,00,00,00,00\n"
                     "\"FolderOption\"=dword:00000002\n"
                     "\"TaskPriority\"=\"2\"\n"
                     "\"LimitHistory\"=hex:00\n"
                     "\"EveryTimes\"=dword:00000009\n"
                     "\"LogFile\"=\"/data/log.txt\"\n"
                     "\"LogAppend\"=dword:00000001\n");
    const TSettings s = LoadSettings(kProg, ui);

    TSettings want = defaultSettings(kProg);
    want.MirTopFolder = "/data/mirror";
    want.Mirroring = true;
    want.Postpone = 0;
    want.EveryTimes = 9;
    want.LogFile = "/data/log.txt";
    want.LogAppend = true;
    EXPECT_EQ(s, want);  // Interval 30 min, idle mode 0 / 30, folder option 1, priority 5, 3 generations

    ASSERT_EQ(ui.kinds(), Kinds{"error"});
    EXPECT_EQ(ui.shown[0].text,
              "'Interval' のデータ型が不正です\r\n"
              "'IdleOption' のデータ型が不正です\r\n"
              "'FolderOption' のデータ型が不正です\r\n"
              "'TaskPriority' のデータ型が不正です\r\n"
              "'LimitHistory' のデータ型が不正です");
}

TEST_F(HiveTest, BadMirroringOrLogFileIsNoFirstRunAndNoOldVersion)
{
    writeSettingsKey("\"Mirroring\"=\"1\"\n\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n"
                     "\"LogFile\"=dword:00000001\n");
    const TSettings s = LoadSettings(kProg, ui);
    EXPECT_FALSE(s.Mirroring);
    EXPECT_EQ(s.LogFile, kProg + "logfile.txt");
    ASSERT_EQ(ui.kinds(), Kinds{"error"});
    EXPECT_EQ(ui.shown[0].text, "'Mirroring' のデータ型が不正です\r\n'LogFile' のデータ型が不正です");
}

TEST_F(HiveTest, RlfWarningOnlyForAnOldKeyInIdleModeTwo)
{
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n");
    EXPECT_EQ(LoadSettings(kProg, ui).IdleThreshold, 100);
    ASSERT_EQ(ui.kinds(), Kinds{"rlf"});
    EXPECT_EQ(ui.shown[0].caption, "RLF 再設定のお願い");
    EXPECT_EQ(ui.shown[0].text, kRlfText);

    // Without Mirroring as well: the first-run message comes first.
    ui.shown.clear();
    writeSettingsKey("\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n");
    LoadSettings(kProg, ui);
    EXPECT_EQ(ui.kinds(), (Kinds{"firstRun", "rlf"}));

    ui.shown.clear();
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n"
                     "\"LogFile\"=\"/l\"\n");
    LoadSettings(kProg, ui);
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"IdleOption\"=hex:01,00,00,00,14,00,00,00\n");
    LoadSettings(kProg, ui);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(HiveTest, UnreadableHiveIsKeptAsideAndToldOnce)
{
    const std::string garbage = "this is no hive\n[[[\n\"x\"=dword:zz\n";
    writeFile(hivePath(), garbage);
    EXPECT_EQ(LoadSettings(kProg, ui), defaultSettings(kProg));
    ASSERT_EQ(ui.kinds(), (Kinds{"hive", "firstRun"}));
    EXPECT_EQ(ui.shown[0].caption, "設定ファイルの退避");

    std::string keptAs;
    for (const auto& e : std::filesystem::directory_iterator(hiveFolder()))
        if (e.path() != hivePath() && readFile(e.path()) == garbage)
            keptAs = e.path();
    ASSERT_FALSE(keptAs.empty()) << "the unreadable content was not kept";
    EXPECT_NE(ui.shown[0].text.find(keptAs), std::string::npos) << ui.shown[0].text;

    ui.shown.clear();
    ASSERT_TRUE(SaveSettings(defaultSettings(kProg), ui));
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(readFile(keptAs), garbage);
}

TEST_F(HiveTest, SaveKeepsWhatOthersStoredInTheHive)
{
    writeSettingsKey("\"ListTop\"=dword:00000064\n",
                     "[HKEY_CURRENT_USER\\Software\\Tovan\\Other]\n\"Name\"=\"kept\"\n\n");
    TSettings s = LoadSettings(kProg, ui);
    {
        // Another program writes while this one runs.
        TRegistry other;
        ASSERT_TRUE(other.OpenKey("\\Software\\Tovan\\Renvo", false));
        ASSERT_TRUE(other.WriteInteger("ListWidth", 640));
    }
    s.Mirroring = true;
    ASSERT_TRUE(SaveSettings(s, ui));

    TRegistry check;
    ASSERT_TRUE(check.OpenKey("\\Software\\Tovan\\Renvo", false));
    EXPECT_TRUE(check.ValueExists("ListTop"));
    EXPECT_TRUE(check.ValueExists("ListWidth"));
    EXPECT_TRUE(check.ValueExists("LogAppend"));
    ASSERT_TRUE(check.OpenKey("\\Software\\Tovan\\Other", false));
    EXPECT_TRUE(check.ValueExists("Name"));
}

TEST_F(HiveTest, SaveIntoReadOnlyHiveFolderFailsAndKeepsTheOldFile)
{
    TSettings s = defaultSettings(kProg);
    ASSERT_TRUE(SaveSettings(s, ui));
    const std::string before = readFile(hivePath());

    ASSERT_EQ(::chmod(hiveFolder().c_str(), 0555), 0);
    WithoutDacOverride guard;
    const std::string probe = hiveFolder() + "/probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
        GTEST_SKIP() << "this process may write into read-only folders";
    }

    // A changed first value: an unchanged one may not need the file at all.
    s.MirTopFolder = "/elsewhere";
    s.LimitHistory = 9;
    EXPECT_FALSE(SaveSettings(s, ui));
    ASSERT_EQ(ui.kinds(), Kinds{"error"});
    EXPECT_EQ(ui.shown[0].text, "'MirTopFolder' の設定に失敗しました");
    EXPECT_EQ(readFile(hivePath()), before);
}

}  // namespace
}  // namespace renvo::test
