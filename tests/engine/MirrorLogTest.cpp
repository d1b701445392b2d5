// The log file a run leaves: its exact lines, appending, and writes during the copy phase.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "common/Privileges.h"
#include "engine/CopyStep.h"
#include "engine/EngineTestUtil.h"

namespace renvo::enginetest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class MirrorLogTest : public EngineTest {
protected:
    // Checks one run's block from `at`; returns the index after its end line.
    size_t expectBlock(const Strings& lines, size_t at, const std::string& kind, const Strings& body)
    {
        const std::regex stamp(R"(\d{4}/\d{2}/\d{2}( \d{1,2}:\d{2}:\d{2})?)");
        EXPECT_GE(lines.size(), at + 10 + body.size());
        if (lines.size() < at + 10 + body.size())
            return lines.size();
        EXPECT_EQ(lines[at], std::string(70, '-'));
        EXPECT_EQ(lines[at + 1], "                  Renvo 3 ミラーリングログファイル");
        EXPECT_EQ(lines[at + 2], std::string(70, '-'));
        EXPECT_FALSE(lines[at + 3].empty());
        EXPECT_EQ(lines[at + 4], "");
        EXPECT_EQ(lines[at + 5], "種    別: " + kind);
        EXPECT_EQ(lines[at + 6].substr(0, 14), "実行開始: ");
        EXPECT_TRUE(std::regex_match(lines[at + 6].substr(14), stamp)) << lines[at + 6];
        EXPECT_EQ(lines[at + 7], "");
        for (size_t i = 0; i < body.size(); ++i)
            EXPECT_EQ(lines[at + 8 + i], body[i]);
        const size_t end = at + 8 + body.size();
        EXPECT_EQ(lines[end], "");
        EXPECT_EQ(lines[end + 1].substr(0, 14), "実行終了: ");
        EXPECT_TRUE(std::regex_match(lines[end + 1].substr(14), stamp)) << lines[end + 1];
        return end + 2;
    }
};

TEST_F(MirrorLogTest, RunWithNothingToDoLogsHeaderAndEndOnly)
{
    source("a.txt");
    writeFile(latest("a.txt"), "same");
    setMtime(latest("a.txt"), 1600000000);
    setList({fileItem(src + "/a.txt")});
    run(true);

    const std::string text = readFile(logPath());
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "the last line is ended too";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
    const Strings lines = logLines();
    EXPECT_EQ(expectBlock(lines, 0, "標準ミラーリング", {}), lines.size());
}

TEST_F(MirrorLogTest, HistoryLineOnlyWithALimit)
{
    setList({folderItem(src)});
    host.snap.LimitHistory = 0;
    run(false);
    Strings lines = logLines();
    EXPECT_EQ(expectBlock(lines, 0, "完全ミラーリング", {}), lines.size());
    EXPECT_EQ(readFile(updatePath()), "");

    host.snap.LimitHistory = 3;
    run(false);
    lines = logLines();
    EXPECT_EQ(expectBlock(lines, 0, "完全ミラーリング", {"", "履歴増加: 0個のファイルが履歴に追加されました"}),
              lines.size());
}

TEST_F(MirrorLogTest, FailedCopyAndHistoryCountInOneBlock)
{
    const std::string a = source("a.txt");
    const std::string b = source("b.txt");
    writeFile(latest("b.txt"), "a file where a folder belongs");
    writeFile(updatePath(), "earlier.txt\r\n");
    setList({fileItem(a), fileItem(b, "b.txt")});
    run(false);

    const Strings lines = logLines();
    EXPECT_EQ(expectBlock(lines, 0, "完全ミラーリング",
                          {"複製成功: " + a + " -> " + latest("a.txt"),
                           "複製失敗: " + b + " ->X " + latest("b.txt/b.txt"), "原    因: Not a directory", "",
                           // the files stored: b.txt never arrived and earlier.txt has no copy
                           "履歴増加: 1個のファイルが履歴に追加されました"}),
              lines.size());
}

TEST_F(MirrorLogTest, AppendedRunsAreSeparatedByOneEmptyLine)
{
    setList({folderItem(src)});
    writeFile(logPath(), "old line without an end");
    host.snap.LogAppend = true;
    run(true);
    run(false);

    Strings lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "old line without an end");
    EXPECT_EQ(lines[1], "");
    size_t at = expectBlock(lines, 2, "標準ミラーリング", {});
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at], "");
    at = expectBlock(lines, at + 1, "完全ミラーリング", {"", "履歴増加: 0個のファイルが履歴に追加されました"});
    EXPECT_EQ(at, lines.size());

    host.snap.LogAppend = false;
    run(true);
    lines = logLines();
    EXPECT_EQ(expectBlock(lines, 0, "標準ミラーリング", {}), lines.size()) << "without appending a run replaces the log";
}

// Two copies are in flight: the log on disk before a copy starts holds, in queue order, every
// copy before it but the ones still waiting for the other copy in flight.
TEST_F(MirrorLogTest, LogOnDiskIsCurrentBeforeEveryCopy)
{
    Strings names;
    for (int i = 0; i < 60; ++i) {
        names.push_back("f" + std::to_string(100 + i) + ".txt");
        source(names.back());
    }
    setList({folderItem(src)});
    auto copied = [&](size_t i) { return "複製成功: " + src + "/" + names[i] + " -> " + latest(names[i]); };
    size_t reports = 0;
    host.onReport = [&](const Report& r) {
        if (r.phase != 2 || r.position == 0)
            return;
        ++reports;
        Strings logged;
        for (const std::string& line : logLines()) {
            if (line.rfind("複製成功: ", 0) == 0)
                logged.push_back(line);
        }
        const size_t before = static_cast<size_t>(r.position - 1);
        ASSERT_LE(logged.size(), before) << "at copy " << r.position;
        EXPECT_GE(logged.size() + PairedCopies::kMostUnreported, before) << "at copy " << r.position;
        for (size_t i = 0; i < logged.size(); ++i)
            EXPECT_EQ(logged[i], copied(i)) << "at copy " << r.position;
    };
    run(true);
    EXPECT_EQ(reports, names.size());
    const Strings all = logLinesWith("複製成功: ");
    ASSERT_EQ(all.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(all[i], copied(i));
}

TEST_F(MirrorLogTest, UnreadableOldLogEndsTheRunQuietly)
{
    source("a.txt");
    setList({folderItem(src)});
    fs::create_directories(logPath());
    host.snap.LogAppend = true;

    const RunOutcome out = run(true);
    EXPECT_EQ(out.end, RunEnd::Failed);
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_EQ(host.ends, 1);
    EXPECT_FALSE(fs::exists(latest("a.txt")));
    EXPECT_FALSE(fs::exists(updatePath()));
    EXPECT_TRUE(fs::is_directory(logPath()));
    EXPECT_TRUE(fs::is_empty(logPath()));
    for (const auto& e : fs::directory_iterator(prog))
        EXPECT_EQ(e.path().filename().string().find(".rvtmp"), std::string::npos) << e.path();
}

TEST_F(MirrorLogTest, OldLogFileThatCannotBeReadIsNotReplaced)
{
    // A folder in the log's place could not be replaced anyway; a file could.
    setList({fileItem(source("a.txt"))});
    const std::string old = "old lines of a log the run may not read\r\n";
    writeFile(logPath(), old);
    ASSERT_EQ(::chmod(logPath().c_str(), 0), 0);
    host.snap.LogAppend = true;

    RunOutcome out;
    {
        WithoutDacOverride noOverride;
        if (!noOverride.effective())
            GTEST_SKIP() << "permissions do not bind here";
        out = run(true);
    }
    EXPECT_EQ(out.end, RunEnd::Failed);
    struct stat st {};
    ASSERT_EQ(::stat(logPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0u);
    ASSERT_EQ(::chmod(logPath().c_str(), 0644), 0);
    EXPECT_EQ(readFile(logPath()), old);
}

TEST_F(MirrorLogTest, NoFileWithoutKeepLogFile)
{
    source("a.txt");
    setList({folderItem(src)});
    host.snap.KeepLogFile = false;
    EXPECT_EQ(run(true).copies, 1u);
    EXPECT_FALSE(fs::exists(logPath()));
}

}  // namespace
}  // namespace renvo::enginetest
