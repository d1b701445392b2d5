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

const std::string kFirstRun = "作者からのお願い";
const std::string kRlf = "RLF 再設定のお願い";
const std::string kError = "エラー";
const std::string kHiveAside = "設定ファイルの退避";

const char kExpectedFirstRunText[] =
    "拙作 Renvo を御利用いただき，ありがとうございます\r\n\r\n"
    "このソフトウエアは，その性質上，十分に用語が分かっていないと，\r\n"
    "ファイルの損失等につながるおそれがあります\r\n"
    "分からない用語が出てきましたら，必ずヘルプをご確認願います";
const char kExpectedRlfText[] =
    "RLF は仕様が変わり，旧バージョンから異なる値を示すようになっています\r\n"
    "使い始める前に，再度設定して下さい";

using Captions = std::vector<std::string>;

// Every message of the settings is a plain OK box.
void expectOkBox(const PromptMessage& m, const std::string& caption, const std::string& text, PromptIcon icon)
{
    EXPECT_EQ(m.caption, caption);
    EXPECT_EQ(m.text, text);
    EXPECT_EQ(m.icon, icon);
    EXPECT_EQ(m.buttons, PromptButtons::Ok);
    EXPECT_EQ(m.defaultButton, PromptAnswer::Ok);
    EXPECT_EQ(m.detail, "");
}

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
    prompt.expect(kFirstRun, PromptAnswer::Ok);
    EXPECT_EQ(LoadSettings(kProg, prompt), defaultSettings(kProg));
    ASSERT_EQ(prompt.captions(), Captions{kFirstRun});
    expectOkBox(prompt.asked[0], kFirstRun, kExpectedFirstRunText, PromptIcon::Information);
    EXPECT_TRUE(hiveHasLine("[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]"));  // the key is made

    // Other values in the key do not make it a known user: only Mirroring does.
    prompt.asked.clear();
    writeSettingsKey("\"ListTop\"=dword:00000064\n\"LogFile\"=\"/x\"\n");
    prompt.expect(kFirstRun, PromptAnswer::Ok);
    EXPECT_EQ(LoadSettings(kProg, prompt).LogFile, "/x");
    EXPECT_EQ(prompt.captions(), Captions{kFirstRun});
}

TEST_F(HiveTest, SaveWritesEveryValueInItsEncodingAndLoadReadsItBack)
{
    TSettings d = defaultSettings(kProg);
    d.Mirroring = true;
    ASSERT_TRUE(SaveSettings(d, prompt));
    EXPECT_TRUE(hiveHasLine("\"MirTopFolder\"=\"/opt/renvo/Mirrored Files\""));
    EXPECT_TRUE(hiveHasLine("\"Mirroring\"=dword:00000001"));
    EXPECT_TRUE(hiveHasLine("\"Interval\"=hex:55,55,55,55,55,55,95,3f"));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:00,00,00,00,1e,00,00,00"));
    EXPECT_TRUE(hiveHasLine("\"Postpone\"=hex:1c,c7,71,1c,c7,71,6c,3f"));
    EXPECT_TRUE(hiveHasLine("\"FolderOption\"=hex:01"));
    EXPECT_TRUE(hiveHasLine("\"TaskPriority\"=dword:00000005"));
    EXPECT_TRUE(hiveHasLine("\"LogFile\"=\"/opt/renvo/logfile.txt\""));
    EXPECT_EQ(LoadSettings(kProg, prompt), d);

    const TSettings u = unusualSettings();
    ASSERT_TRUE(SaveSettings(u, prompt));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:02,11,22,33,0f,27,00,00"));
    EXPECT_TRUE(hiveHasLine("\"FolderOption\"=hex:03"));
    EXPECT_TRUE(hiveHasLine("\"DoneStandard\"=dword:0000000c"));
    EXPECT_TRUE(hiveHasLine("\"QueryDelFiles\"=dword:00000000"));
    EXPECT_EQ(LoadSettings(kProg, prompt), u);
    EXPECT_TRUE(prompt.asked.empty());

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
    const TSettings s = LoadSettings(kProg, prompt);
    EXPECT_TRUE(s.Mirroring);
    EXPECT_EQ(s.IdleMode, 1);
    EXPECT_EQ(s.IdleThreshold, 16);
    EXPECT_EQ(s.LogFile, "/l");
    ASSERT_TRUE(SaveSettings(s, prompt));
    EXPECT_TRUE(hiveHasLine("\"Mirroring\"=dword:00000001"));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:01,aa,bb,cc,10,00,00,00"));
    EXPECT_TRUE(hiveHasLine("\"LogFile\"=\"/l\""));
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(HiveTest, ShortIdleOptionReplacesItsBytesAndKeepsTheDefaultThreshold)
{
    writeSettingsKey("\"Mirroring\"=dword:00000000\n\"IdleOption\"=hex:01,07,08,09\n");
    const TSettings s = LoadSettings(kProg, prompt);
    EXPECT_EQ(s.IdleMode, 1);
    EXPECT_EQ(s.IdleReserved, (std::array<uint8_t, 3>{7, 8, 9}));
    EXPECT_EQ(s.IdleThreshold, 30);
    ASSERT_TRUE(SaveSettings(s, prompt));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:01,07,08,09,1e,00,00,00"));
    EXPECT_TRUE(prompt.asked.empty());
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
    prompt.expect(kError, PromptAnswer::Ok);
    const TSettings s = LoadSettings(kProg, prompt);

    TSettings want = defaultSettings(kProg);
    want.MirTopFolder = "/data/mirror";
    want.Mirroring = true;
    want.Postpone = 0;
    want.EveryTimes = 9;
    want.LogFile = "/data/log.txt";
    want.LogAppend = true;
    EXPECT_EQ(s, want);  // Interval 30 min, idle mode 0 / 30, folder option 1, priority 5, 3 generations

    ASSERT_EQ(prompt.captions(), Captions{kError});
    expectOkBox(prompt.asked[0], kError,
                "'Interval' のデータ型が不正です\r\n"
                "'IdleOption' のデータ型が不正です\r\n"
                "'FolderOption' のデータ型が不正です\r\n"
                "'TaskPriority' のデータ型が不正です\r\n"
                "'LimitHistory' のデータ型が不正です",
                PromptIcon::Error);
}

TEST_F(HiveTest, BadMirroringOrLogFileIsNoFirstRunAndNoOldVersion)
{
    writeSettingsKey("\"Mirroring\"=\"1\"\n\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n"
                     "\"LogFile\"=dword:00000001\n");
    prompt.expect(kError, PromptAnswer::Ok);
    const TSettings s = LoadSettings(kProg, prompt);
    EXPECT_FALSE(s.Mirroring);
    EXPECT_EQ(s.LogFile, kProg + "logfile.txt");
    ASSERT_EQ(prompt.captions(), Captions{kError});
    expectOkBox(prompt.asked[0], kError, "'Mirroring' のデータ型が不正です\r\n'LogFile' のデータ型が不正です",
                PromptIcon::Error);
}

TEST_F(HiveTest, RlfWarningOnlyForAnOldKeyInIdleModeTwo)
{
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n");
    prompt.expect(kRlf, PromptAnswer::Ok);
    EXPECT_EQ(LoadSettings(kProg, prompt).IdleThreshold, 100);
    ASSERT_EQ(prompt.captions(), Captions{kRlf});
    expectOkBox(prompt.asked[0], kRlf, kExpectedRlfText, PromptIcon::Warning);

    // Without Mirroring as well: the first-run message comes first.
    prompt.asked.clear();
    writeSettingsKey("\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n");
    prompt.expect(kFirstRun, PromptAnswer::Ok).expect(kRlf, PromptAnswer::Ok);
    LoadSettings(kProg, prompt);
    EXPECT_EQ(prompt.captions(), (Captions{kFirstRun, kRlf}));

    prompt.asked.clear();
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"IdleOption\"=hex:02,00,00,00,64,00,00,00\n"
                     "\"LogFile\"=\"/l\"\n");
    LoadSettings(kProg, prompt);
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"IdleOption\"=hex:01,00,00,00,14,00,00,00\n");
    LoadSettings(kProg, prompt);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(HiveTest, UnreadableHiveIsKeptAsideAndToldOnce)
{
    const std::string garbage = "this is no hive\n[[[\n\"x\"=dword:zz\n";
    writeFile(hivePath(), garbage);
    prompt.expect(kHiveAside, PromptAnswer::Ok).expect(kFirstRun, PromptAnswer::Ok);
    EXPECT_EQ(LoadSettings(kProg, prompt), defaultSettings(kProg));
    ASSERT_EQ(prompt.captions(), (Captions{kHiveAside, kFirstRun}));

    std::string keptAs;
    for (const auto& e : std::filesystem::directory_iterator(hiveFolder()))
        if (e.path() != hivePath() && readFile(e.path()) == garbage)
            keptAs = e.path();
    ASSERT_FALSE(keptAs.empty()) << "the unreadable content was not kept";
    expectOkBox(prompt.asked[0], kHiveAside,
                "設定ファイル '" + hivePath() + "' を読み取れなかったため，'" + keptAs +
                    "' に移しました\r\nこのファイルにあった設定は既定値に戻ります",
                PromptIcon::Warning);

    prompt.asked.clear();
    ASSERT_TRUE(SaveSettings(defaultSettings(kProg), prompt));
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_EQ(readFile(keptAs), garbage);
}

TEST_F(HiveTest, SaveKeepsWhatOthersStoredInTheHive)
{
    writeSettingsKey("\"ListTop\"=dword:00000064\n",
                     "[HKEY_CURRENT_USER\\Software\\Tovan\\Other]\n\"Name\"=\"kept\"\n\n");
    prompt.expect(kFirstRun, PromptAnswer::Ok);  // no Mirroring value yet
    TSettings s = LoadSettings(kProg, prompt);
    {
        // Another program writes while this one runs.
        TRegistry other;
        ASSERT_TRUE(other.OpenKey("\\Software\\Tovan\\Renvo", false));
        ASSERT_TRUE(other.WriteInteger("ListWidth", 640));
    }
    s.Mirroring = true;
    ASSERT_TRUE(SaveSettings(s, prompt));

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
    ASSERT_TRUE(SaveSettings(s, prompt));
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
    prompt.expect(kError, PromptAnswer::Ok);
    EXPECT_FALSE(SaveSettings(s, prompt));
    ASSERT_EQ(prompt.captions(), Captions{kError});
    expectOkBox(prompt.asked[0], kError, "'MirTopFolder' の設定に失敗しました", PromptIcon::Error);
    EXPECT_EQ(readFile(hivePath()), before);
}

TEST_F(HiveTest, AHiveThatCannotEvenBeLockedRefusesOnlyASaveWithSomethingToWrite)
{
    ASSERT_TRUE(SaveSettings(defaultSettings(kProg), prompt));
    SettingsStore store(kProg);
    TSettings s = store.load(prompt);
    const std::string before = readFile(hivePath());
    ASSERT_EQ(::unlink((hivePath() + ".lock").c_str()), 0);
    ASSERT_EQ(::chmod(hiveFolder().c_str(), 0555), 0);
    WithoutDacOverride guard;
    const int fd = ::open((hivePath() + ".lock").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        ::unlink((hivePath() + ".lock").c_str());
        GTEST_SKIP() << "this process may write into read-only folders";
    }

    EXPECT_TRUE(store.save(s, prompt));  // the tray's exit with nothing changed
    EXPECT_TRUE(prompt.asked.empty());
    s.LimitHistory = 9;
    prompt.expect(kError, PromptAnswer::Ok);
    EXPECT_FALSE(store.save(s, prompt));
    ASSERT_EQ(prompt.captions(), Captions{kError});
    expectOkBox(prompt.asked[0], kError, "'LimitHistory' の設定に失敗しました", PromptIcon::Error);
    EXPECT_EQ(readFile(hivePath()), before);

    // Nor can it be read: what would be written is unknown, the box names the first value.
    prompt.asked.clear();
    ASSERT_EQ(::chmod(hivePath().c_str(), 0), 0);
    prompt.expect(kError, PromptAnswer::Ok);
    EXPECT_FALSE(store.save(s, prompt));
    ASSERT_EQ(prompt.captions(), Captions{kError});
    EXPECT_EQ(prompt.asked[0].text, "'MirTopFolder' の設定に失敗しました");
    ASSERT_EQ(::chmod(hivePath().c_str(), 0600), 0);
}

// ---- two programs on one key ----------------------------------------------------------------

// A change one program makes to its record.
struct Change {
    const char* what;
    void (*apply)(TSettings&);
};

const Change kTrayToggle{"TrayAutoMode", [](TSettings& s) { s.Mirroring = !s.Mirroring; }};
const Change kCronCount{"CronCounter", [](TSettings& s) { ++s.DoneStandard; }};
const Change kTrayPages{"TraySettingsPages", [](TSettings& s) {
                            s.LimitHistory = 7;
                            s.IdleThreshold = 55;
                            s.LogFile = "/elsewhere/log.txt";
                        }};
const Change kCronComplete{"CronCompleteRun", [](TSettings& s) { s.DoneStandard = 0; }};

struct TwoProgramCase {
    Change first;   // saved first
    Change second;  // saved second, by a program that loaded before the first saved
};

void PrintTo(const TwoProgramCase& c, std::ostream* os)
{
    *os << c.first.what << " then " << c.second.what;
}

class TwoPrograms : public HiveTest, public ::testing::WithParamInterface<TwoProgramCase> {};

TEST_P(TwoPrograms, EachWritesOnlyItsOwnChangeAndTakesUpTheOther)
{
    TSettings start = unusualSettings();
    start.DoneStandard = 3;
    ASSERT_TRUE(SaveSettings(start, prompt));

    SettingsStore firstStore(kProg), secondStore(kProg);
    TSettings first = firstStore.load(prompt);
    TSettings second = secondStore.load(prompt);
    ASSERT_EQ(first, start);
    GetParam().first.apply(first);
    GetParam().second.apply(second);
    ASSERT_TRUE(firstStore.save(first, prompt));
    ASSERT_TRUE(secondStore.save(second, prompt));

    TSettings both = start;
    GetParam().first.apply(both);
    GetParam().second.apply(both);
    EXPECT_EQ(LoadSettings(kProg, prompt), both);
    EXPECT_EQ(second, both) << "the later save takes up the earlier one";
    // The file is the one a single save of both changes writes.
    const std::string merged = readFile(hivePath());
    ASSERT_TRUE(SaveSettings(start, prompt));
    ASSERT_TRUE(SaveSettings(both, prompt));
    EXPECT_EQ(merged, readFile(hivePath()));

    // The first program looks again (before its next run) and has both.
    firstStore.refresh(first, prompt);
    EXPECT_EQ(first, both);
    EXPECT_TRUE(prompt.asked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EitherOrder, TwoPrograms,
    ::testing::Values(TwoProgramCase{kCronCount, kTrayToggle}, TwoProgramCase{kTrayToggle, kCronCount},
                      TwoProgramCase{kCronComplete, kTrayPages}, TwoProgramCase{kTrayPages, kCronComplete}),
    [](const auto& info) { return std::string(info.param.first.what) + "Then" + info.param.second.what; });

TEST_F(HiveTest, ASaveWithNothingChangedLeavesANewerValueOfAnotherProgram)
{
    TSettings start = defaultSettings(kProg);
    start.Mirroring = true;
    ASSERT_TRUE(SaveSettings(start, prompt));
    SettingsStore tray(kProg);
    TSettings traySettings = tray.load(prompt);

    // renvo-run counts a run while the tray program is up.
    SettingsStore cron(kProg);
    TSettings cronSettings = cron.load(prompt);
    cronSettings.DoneStandard = 4;
    ASSERT_TRUE(cron.save(cronSettings, prompt));
    const std::string afterCron = readFile(hivePath());

    ASSERT_TRUE(tray.save(traySettings, prompt));
    EXPECT_EQ(readFile(hivePath()), afterCron);
    EXPECT_EQ(traySettings.DoneStandard, 4);
    // Saved again unchanged: still nothing to write.
    ASSERT_TRUE(tray.save(traySettings, prompt));
    EXPECT_EQ(readFile(hivePath()), afterCron);

    // What the tray saved is its new starting point: a later change of the other program to
    // the same value is not undone by the next save.
    traySettings.LimitHistory = 7;
    ASSERT_TRUE(tray.save(traySettings, prompt));
    cronSettings = cron.load(prompt);
    cronSettings.LimitHistory = 9;
    ASSERT_TRUE(cron.save(cronSettings, prompt));
    ASSERT_TRUE(tray.save(traySettings, prompt));
    EXPECT_EQ(traySettings.LimitHistory, 9);
    EXPECT_EQ(LoadSettings(kProg, prompt).LimitHistory, 9);

    // A value another program damaged is written anew, not taken up.
    TRegistry other;
    ASSERT_TRUE(other.OpenKey("\\Software\\Tovan\\Renvo", false));
    ASSERT_TRUE(other.WriteString("TaskPriority", "0"));
    ASSERT_TRUE(tray.save(traySettings, prompt));
    EXPECT_EQ(traySettings.TaskPriority, 5);
    EXPECT_TRUE(hiveHasLine("\"TaskPriority\"=dword:00000005"));
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(HiveTest, ASaveIntoAHiveDamagedSinceTheLoadKeepsItAsideAndWritesTheRecord)
{
    TSettings start = unusualSettings();
    ASSERT_TRUE(SaveSettings(start, prompt));
    SettingsStore store(kProg);
    TSettings s = store.load(prompt);
    // Found by the look before a run, and by the save.
    writeFile(hivePath(), "no hive at all\n");
    prompt.expect(kHiveAside, PromptAnswer::Ok);
    store.refresh(s, prompt);
    EXPECT_EQ(s, start);
    writeFile(hivePath(), "no hive at all\n");
    prompt.expect(kHiveAside, PromptAnswer::Ok);
    ASSERT_TRUE(store.save(s, prompt));
    EXPECT_EQ(prompt.captions(), (Captions{kHiveAside, kHiveAside}));
    EXPECT_EQ(s, start);
    EXPECT_EQ(LoadSettings(kProg, prompt), start);
}

TEST_F(HiveTest, AValueFirstStoredByAnotherProgramIsTakenUpNotOverwritten)
{
    // A key of an earlier version: no counter yet. renvo-run then counts its first run.
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"LogFile\"=\"/l\"\n");
    SettingsStore tray(kProg);
    TSettings s = tray.load(prompt);
    SettingsStore cron(kProg);
    TSettings c = cron.load(prompt);
    ++c.DoneStandard;
    ASSERT_TRUE(cron.save(c, prompt));

    ASSERT_TRUE(tray.save(s, prompt));
    EXPECT_EQ(s.DoneStandard, 1);
    EXPECT_EQ(LoadSettings(kProg, prompt).DoneStandard, 1);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(HiveTest, RefreshKeepsWhatThisProgramChangedAndWhatTheKeyCannotGive)
{
    writeSettingsKey("\"Mirroring\"=dword:00000001\n\"EveryTimes\"=dword:00000005\n"
                     "\"DoneStandard\"=dword:00000001\n\"LimitHistory\"=dword:00000003\n"
                     "\"TaskPriority\"=dword:00000005\n");
    SettingsStore tray(kProg);
    TSettings s = tray.load(prompt);
    s.EveryTimes = 2;  // changed here, not saved yet

    // Another program: a new counter and history limit, its own EveryTimes, a damaged
    // TaskPriority, and Mirroring removed.
    writeSettingsKey("\"EveryTimes\"=dword:00000009\n\"DoneStandard\"=dword:00000002\n"
                     "\"LimitHistory\"=dword:0000000a\n\"TaskPriority\"=\"0\"\n");
    tray.refresh(s, prompt);
    EXPECT_EQ(s.DoneStandard, 2);
    EXPECT_EQ(s.LimitHistory, 10);
    EXPECT_EQ(s.EveryTimes, 2);
    EXPECT_EQ(s.TaskPriority, 5);
    EXPECT_TRUE(s.Mirroring);
    EXPECT_TRUE(prompt.asked.empty());

    // The save writes the own change and puts back what the key lacks or cannot give.
    ASSERT_TRUE(tray.save(s, prompt));
    const TSettings stored = LoadSettings(kProg, prompt);
    EXPECT_EQ(stored, s);
    EXPECT_EQ(stored.EveryTimes, 2);
    EXPECT_TRUE(stored.Mirroring);

    // What a refresh took up counts as read: the other program setting it back is taken up
    // again, not written over.
    writeSettingsKey("\"DoneStandard\"=dword:00000003\n");
    tray.refresh(s, prompt);
    ASSERT_EQ(s.DoneStandard, 3);
    writeSettingsKey("\"DoneStandard\"=dword:00000002\n");
    ASSERT_TRUE(tray.save(s, prompt));
    EXPECT_EQ(s.DoneStandard, 2);
    EXPECT_EQ(LoadSettings(kProg, prompt).DoneStandard, 2);
    EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(HiveTest, SavesOfAStoreStillBringTheKeyIntoItsOwnForm)
{
    // The first save after a load of an old or odd key, with nothing changed in memory.
    writeSettingsKey("\"Mirroring\"=dword:00000002\n\"IdleOption\"=hex:01,07,08,09\n"
                     "\"LogFile\"=hex(2):2f,6c,00\n\"Interval\"=dword:0000001e\n");
    prompt.expect(kError, PromptAnswer::Ok);  // Interval of the wrong type
    SettingsStore store(kProg);
    TSettings s = store.load(prompt);
    ASSERT_TRUE(store.save(s, prompt));
    EXPECT_TRUE(hiveHasLine("\"Mirroring\"=dword:00000001"));
    EXPECT_TRUE(hiveHasLine("\"IdleOption\"=hex:01,07,08,09,1e,00,00,00"));
    EXPECT_TRUE(hiveHasLine("\"LogFile\"=\"/l\""));
    EXPECT_TRUE(hiveHasLine("\"Interval\"=hex:55,55,55,55,55,55,95,3f"));
    EXPECT_TRUE(hiveHasLine("\"LogAppend\"=dword:00000000"));  // missing values are added
    EXPECT_EQ(prompt.captions(), Captions{kError});
}

}  // namespace
}  // namespace renvo::test
