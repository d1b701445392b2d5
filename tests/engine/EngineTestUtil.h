#pragma once
// Shared pieces of the engine tests: a host that records what a run tells it and can stop
// the run after a chosen progress report, and a fixture with a program folder, a source tree and a
// mirroring top folder in a fresh temporary folder.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/ListItems.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "engine/ListFile.h"
#include "engine/MirThread.h"
#include "engine/MirrorHost.h"
#include "platform/FileNames.h"

namespace renvo::enginetest {

using namespace renvo::test;

struct Report {
    int phase, position, maximum;
    bool operator==(const Report&) const = default;
    friend void PrintTo(const Report& r, std::ostream* os) { *os << "{" << r.phase << "," << r.position << "," << r.maximum << "}"; }
};

class TestHost : public MirrorHost {
public:
    MirrorSnapshot snap;
    std::vector<Report> reports;
    int snapshots = 0;
    int ends = 0;
    std::vector<bool> cursor;  // every busy-cursor change, in order
    int niceAtSnapshot = 0;    // the nice value of the thread that took the snapshot
    std::function<void(const Report&)> onReport;
    // The run is asked to stop right after the first report for which this is true, so it
    // stops at the poll point that follows.
    std::function<bool(const Report&)> stopAfter;
    TMirror* mirror = nullptr;  // the run being hosted

    MirrorSnapshot takeSnapshot() override
    {
        ++snapshots;
        niceAtSnapshot = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
        return snap;
    }
    void setBusyCursor(bool busy) override { cursor.push_back(busy); }
    void progressChanged(const RunProgress& p) override
    {
        reports.push_back({static_cast<int>(p.phase), p.position, p.maximum});
        if (onReport)
            onReport(reports.back());
        if (stopAfter && mirror && stopAfter(reports.back()))
            mirror->requestStop();
    }
    void notifyEnd() override { ++ends; }
};

// Lines of a CR LF text; a missing final line end leaves a last line without one.
std::vector<std::string> splitCrLf(const std::string& text);

inline const char* const kCancelCaption = "ミラーリング中止";
inline const char* const kCancelText =
    "キャンセルしました\r\n\r\n途中でミラーリングできなかったファイルが存在します\r\n近いうちに再実行して下さい";

class EngineTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string prog = tmp / "prog";
    std::string top = tmp / "top";
    std::string src = tmp / "src";
    TestHost host;
    ScriptedPrompt prompt;  // the boxes of the last run are in prompt.asked

    void SetUp() override;

    std::string latest(const std::string& rel) const { return top + "/Latest/" + rel; }
    std::string listPath() const { return prog + "/" + kListFileName; }
    std::string updatePath() const { return prog + "/" + kUpdateFileName; }
    std::string tablePath() const { return prog + "/" + kTableFileName; }
    std::string logPath() const { return host.snap.LogFile; }

    void setList(const std::vector<MirrorItem>& items);
    // A source file with a fixed stamp.
    std::string source(const std::string& rel, const std::string& content = "x", int64_t mtime = 1600000000);
    // One run on this thread; the host's counters and reports start afresh.
    RunOutcome run(bool standard);
    // One run in which file modes bind (root's override dropped), with the given folders at
    // the given modes for its length and back at 0755 afterwards. Nothing when modes cannot be
    // made to bind: the test is then skipped.
    std::optional<RunOutcome> runWithModes(bool standard, const std::vector<std::pair<std::string, unsigned>>& modes);
    std::vector<std::string> logLines() const;
    // The lines of the log's last run between its header (up to the blank line after the
    // start time) and its end (the blank line and the end time), whatever the header holds.
    std::vector<std::string> logBody() const;
    // Log lines starting with the given label.
    std::vector<std::string> logLinesWith(const std::string& label) const;
};

}  // namespace renvo::enginetest
