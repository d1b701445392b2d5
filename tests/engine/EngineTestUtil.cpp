#include "engine/EngineTestUtil.h"

#include <sys/stat.h>

#include <filesystem>

#include "common/Privileges.h"

namespace renvo::enginetest {

using namespace renvo::test;

std::vector<std::string> splitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

void EngineTest::SetUp()
{
    std::filesystem::create_directories(prog);
    std::filesystem::create_directories(src);
    host.snap.standardRun = true;
    host.snap.LogAppend = false;
    host.snap.KeepLogFile = true;
    host.snap.LogFile = prog + "/logfile.txt";
    host.snap.LimitHistory = 3;
    host.snap.DelOnNotExists = true;
    host.snap.MirTopFolder = top;
    host.snap.FolderOption = 1;
}

void EngineTest::setList(const std::vector<MirrorItem>& items)
{
    ASSERT_EQ(writeListFile(listPath(), items), 0);
}

std::string EngineTest::source(const std::string& rel, const std::string& content, int64_t mtime)
{
    const std::string path = writeFile(src + "/" + rel, content);
    setMtime(path, mtime);
    return path;
}

RunOutcome EngineTest::run(bool standard)
{
    host.snap.standardRun = standard;
    host.reports.clear();
    prompt.asked.clear();
    host.ends = 0;
    host.snapshots = 0;
    TMirror mirror(host, prompt, prog);
    host.mirror = &mirror;
    const RunOutcome outcome = mirror.run();
    host.mirror = nullptr;
    return outcome;
}

std::optional<RunOutcome> EngineTest::runWithModes(bool standard,
                                                   const std::vector<std::pair<std::string, unsigned>>& modes)
{
    for (const auto& [path, mode] : modes)
        ::chmod(path.c_str(), mode);
    std::optional<RunOutcome> out;
    {
        WithoutDacOverride guard;
        if (guard.effective())
            out = run(standard);
    }
    for (const auto& [path, mode] : modes)
        ::chmod(path.c_str(), 0755);
    return out;
}

std::vector<std::string> EngineTest::logLines() const
{
    return splitCrLf(readFile(logPath()));
}

std::vector<std::string> EngineTest::logBody() const
{
    const std::vector<std::string> lines = logLines();
    size_t start = lines.size();
    for (size_t i = lines.size(); i-- > 0;) {
        if (lines[i].rfind("実行開始: ", 0) == 0) {
            start = i + 2;  // the start time and the blank line after it
            break;
        }
    }
    size_t end = lines.size();
    if (end >= 2 && lines[end - 1].rfind("実行終了: ", 0) == 0 && lines[end - 2].empty())
        end -= 2;
    if (start > end) {
        ADD_FAILURE() << "the log has no run block";
        return {};
    }
    return {lines.begin() + static_cast<long>(start), lines.begin() + static_cast<long>(end)};
}

std::vector<std::string> EngineTest::logLinesWith(const std::string& label) const
{
    std::vector<std::string> out;
    for (const std::string& line : logLines()) {
        if (line.rfind(label, 0) == 0)
            out.push_back(line);
    }
    return out;
}

}  // namespace renvo::enginetest
