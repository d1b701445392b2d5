#include "dialog/RestoreCommands.h"

#include "engine/ItemChecks.h"
#include "engine/Scan.h"
#include "platform/CanonicalPath.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <optional>
#include <utility>

namespace renvo {

namespace {

bool isDelimiter(char c)
{
    return c == pathDelim();
}

// excludeTrailingDelimiter keeps a lone delimiter (the root) and knows trail bytes from delimiters.
std::string trimDelimiters(std::string path)
{
    while (path.size() > 1) {
        std::string shorter = excludeTrailingDelimiter(path);
        if (shorter.size() == path.size())
            break;
        path = std::move(shorter);
    }
    return path;
}

// The folder a generation's copies of the item lie in, or nullopt when the destination leads
// out of the generation folder (a link somewhere on the way).
std::optional<std::string> searchBase(const std::string& generationDir, const std::string& dest)
{
    const std::string base = dest.empty() ? generationDir : joinPath(generationDir, dest);
    if (!directoryExists(base))
        return std::nullopt;
    if (!isSameOrInside(canonicalPath(base), canonicalPath(generationDir)))
        return std::nullopt;
    return base;
}

// Whether the folder holds an entry of that exact name that the file scan would list (a file
// or a link, not a folder, device or a copy's temporary file).
bool holdsFile(const std::string& folder, const std::string& name)
{
    for (const DirEntry& e : readDirectory(folder, false)) {
        if (e.name == name)
            return isListableFile(e.attr) && !isTemporaryName(e.name);
    }
    return false;
}

// The rest of subfolder below dest when dest is a whole-part prefix of it: "" or "/a/b".
std::optional<std::string> restBelow(const std::string& subfolder, const std::string& dest)
{
    if (dest.empty())
        return subfolder.empty() ? std::string() : pathDelim() + subfolder;
    if (subfolder.size() < dest.size() || subfolder.compare(0, dest.size(), dest) != 0)
        return std::nullopt;
    if (subfolder.size() == dest.size())
        return std::string();
    if (!isDelimiter(subfolder[dest.size()]))
        return std::nullopt;
    return subfolder.substr(dest.size());
}

void fail(RestoreOutcome& outcome, const std::string& path, int err)
{
    outcome.failures.push_back({path, err == kLinkInTheWay ? std::string(kLinkInTheWayReason) : errorText(err)});
}

void tellError(Prompt& prompt, const std::string& text, const void* owner)
{
    prompt.tell(kErrorDialogCaption, text, PromptIcon::Error, owner);
}

}  // namespace

std::string generationName(int generation)
{
    return generation == 0 ? std::string("Latest") : "History" + std::to_string(generation);
}

std::vector<RestoreCandidate> searchBackup(const RestoreQuery& q)
{
    std::vector<RestoreCandidate> out;
    const std::string top = trimDelimiters(q.topFolder);
    // The engine never copies below a destination it does not trust; neither does a search look there.
    if (top.empty() || checkDestination(q.dest) != ItemProblem::None)
        return out;
    const int generations = q.limitHistory > 0 ? q.limitHistory : 0;

    if (q.isFile) {
        const std::string name = extractFileName(trimDelimiters(q.address));
        if (name.empty() || name == "." || name == "..")
            return out;
        for (int g = 0; g <= generations; ++g) {
            const std::string gen = generationName(g);
            const std::string genDir = joinPath(top, gen);
            const auto base = searchBase(genDir, q.dest);
            if (base && holdsFile(*base, name))
                out.push_back({name, q.dest, gen, joinPath(*base, name), q.dest});
        }
        return out;
    }

    for (int g = 0; g <= generations; ++g) {
        const std::string gen = generationName(g);
        const std::string genDir = joinPath(top, gen);
        const auto base = searchBase(genDir, q.dest);
        if (!base)
            continue;
        // Folder scan with the item's subfolder flag, each folder's files by "*.*"; links to
        // folders are never entered, so the walk stays inside the generation folder.
        for (const FoundFile& f : sourceListing(*base, {"*.*"}, q.subfolders)) {
            const std::string name = extractFileName(f.path);
            const std::string folder = f.path.substr(0, f.path.size() - name.size() - 1);
            // Everything listed starts with base, which starts with genDir followed by a delimiter.
            const std::string sub = folder.size() > genDir.size() ? folder.substr(genDir.size() + 1) : std::string();
            out.push_back({name, sub, gen, f.path, q.dest});
        }
    }
    return out;
}

std::string proposedTarget(const std::string& address, bool isFile)
{
    if (!isFile)
        return address;
    return extractFileDir(trimDelimiters(address));
}

std::string restoreFolder(const std::string& target, const RestoreCandidate& c, const std::string& currentDest)
{
    // With an empty destination the subfolder is the whole path below the generation folder,
    // joined to the target with a delimiter; "" (directly in the generation) is the target.
    std::optional<std::string> rest = restBelow(c.subfolder, currentDest);
    if (!rest)
        rest = restBelow(c.subfolder, c.searchDest);
    if (!rest)
        rest = c.subfolder.empty() ? std::string() : pathDelim() + c.subfolder;
    // The root target ends with its delimiter already.
    if (!rest->empty() && !target.empty() && isDelimiter(target.back()))
        return target + rest->substr(1);
    return target + *rest;
}

std::string restoreQuestionText(const std::string& fileName, const std::string& folder)
{
    return "アドレス " + fileName + " を " + folder + " に" + "復元します" + "\r\n" + "よろしいですか？";
}

std::string emptyTargetText()
{
    return "復元先基準が指定されていません\r\n復元先のフォルダを指定して下さい";
}

std::string relativeTargetText(const std::string& target)
{
    return "復元先基準 " + target + " はフルパスではありません\r\n復元先のフォルダをフルパスで指定して下さい";
}

std::string targetInsideTopText(const std::string& path, const std::string& top)
{
    return "復元先 " + path + " はミラーリング先フォルダ " + top + " の中にあります\r\n" +
           "バックアップを上書きしてしまうため，復元できません";
}

std::string failureReportText(const RestoreOutcome& outcome)
{
    const size_t failed = outcome.failures.size();
    std::string text = std::to_string(failed) + " 個のファイルを復元できませんでした（復元したファイル " +
                       std::to_string(outcome.restored) + " 個）\r\n";
    for (size_t i = 0; i < failed && i < kFailuresNamed; ++i)
        text += "\r\n" + outcome.failures[i].path + ": " + outcome.failures[i].reason;
    if (failed > kFailuresNamed)
        text += "\r\nほか " + std::to_string(failed - kFailuresNamed) + " 個";
    return text;
}

RestoreOutcome restoreCandidates(Prompt& prompt, TFileOperation& fileOp, const std::vector<RestoreCandidate>& rows,
                                 const std::string& target, const std::string& currentDest,
                                 const std::string& topFolder, const void* owner)
{
    RestoreOutcome outcome;
    if (rows.empty())
        return outcome;
    // An empty target with an empty rest would name no folder at all; a relative one would
    // depend on the program's working folder. Both are refused before anything is asked.
    if (target.empty()) {
        outcome.refused = true;
        tellError(prompt, emptyTargetText(), owner);
        return outcome;
    }
    if (checkAddress(target) != ItemProblem::None) {
        outcome.refused = true;
        tellError(prompt, relativeTargetText(target), owner);
        return outcome;
    }

    std::vector<std::string> folders;
    folders.reserve(rows.size());
    for (const RestoreCandidate& c : rows)
        folders.push_back(restoreFolder(target, c, currentDest));

    // A restore must never write into the backup it reads from: every file's place is
    // compared with the top folder in canonical form (links at the target side resolved).
    const std::string top = trimDelimiters(topFolder);
    if (!top.empty()) {
        const std::string canonicalTop = canonicalPath(top);
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::string file = joinPath(folders[i], rows[i].fileName);
            if (isSameOrInside(canonicalPath(file), canonicalTop)) {
                outcome.refused = true;
                tellError(prompt, targetInsideTopText(folders[i], top), owner);
                return outcome;
            }
        }
    }

    bool allConfirmed = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        const RestoreCandidate& c = rows[i];
        const std::string& folder = folders[i];
        if (!allConfirmed) {
            const PromptAnswer a = prompt.ask({kRestoreQuestionCaption, restoreQuestionText(c.fileName, folder),
                                               PromptIcon::Question, PromptButtons::YesNoAll, PromptAnswer::Yes,
                                               owner});
            if (a == PromptAnswer::All) {
                allConfirmed = true;
            } else if (a != PromptAnswer::Yes) {
                ++outcome.skipped;
                continue;
            }
        }
        const std::string dst = joinPath(folder, c.fileName);
        // The target may be a link the user chose; below it nothing is written through a link
        // (a folder on the way or the file's own name, dangling or not), and the missing
        // folders are made there.
        const Status r = fileOp.CopyFilesBelow(c.backupPath, target, dst);
        if (!r) {
            fail(outcome, r.path().empty() ? dst : r.path(), r.error());
            continue;
        }
        ++outcome.restored;
    }

    if (outcome.failures.empty())
        prompt.tell(kRestoreDoneCaption, kRestoreDoneText, PromptIcon::Information, owner);
    else
        prompt.tell(kRestoreDoneCaption, failureReportText(outcome), PromptIcon::Warning, owner);
    return outcome;
}

}  // namespace renvo
