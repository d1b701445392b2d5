#include "engine/TopFolder.h"

#include "engine/History.h"
#include "platform/CanonicalPath.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <algorithm>
#include <vector>

namespace renvo {

namespace {

constexpr char kMarkerText[] =
    "Renvo のミラーリング先トップフォルダです。Latest と History で始まるフォルダは Renvo が作りました。\n";

std::string usedTopsPath(const std::string& programFolder)
{
    return joinPath(excludeTrailingDelimiter(programFolder), kUsedTopsFileName);
}

std::string mountPointsPath(const std::string& programFolder)
{
    return joinPath(excludeTrailingDelimiter(programFolder), kMountPointsFileName);
}

// Remembered paths, one per line.
std::vector<std::string> remembered(const std::string& path)
{
    std::string text;
    std::vector<std::string> out;
    if (!readWholeFile(path, text, {true, 1 << 20}))
        return out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

int saveRemembered(const std::string& path, const std::vector<std::string>& paths)
{
    std::string text;
    for (const std::string& t : paths)
        text += t + '\n';
    return writeFileAtomic(path, text).error();
}

// The remembered top folders, in canonical form.
std::vector<std::string> usedTops(const std::string& programFolder)
{
    return remembered(usedTopsPath(programFolder));
}

int saveUsedTops(const std::string& programFolder, const std::vector<std::string>& tops)
{
    return saveRemembered(usedTopsPath(programFolder), tops);
}

bool holdsMirror(const std::string& top)
{
    return pathExists(joinPath(top, kTopMarkerName)) || directoryExists(joinPath(top, "Latest"));
}

}  // namespace

TopFolderState topFolderState(const std::string& programFolder, const std::string& spelled)
{
    const std::string top = canonicalPath(spelled);
    if (holdsMirror(top))
        return TopFolderState::Ready;
    const std::vector<std::string> used = usedTops(programFolder);
    if (std::find(used.begin(), used.end(), top) == used.end())
        return TopFolderState::New;
    return directoryExists(top) ? TopFolderState::LostMirror : TopFolderState::Missing;
}

Status claimTopFolder(const std::string& programFolder, const std::string& spelled)
{
    const std::string top = canonicalPath(spelled);
    const std::string marker = joinPath(top, kTopMarkerName);
    int err = forceDirectories(top).error();
    // The caller holds the run lock: a temporary marker was left by a run that was killed.
    removeStaleTemporaries(marker);
    if (err == 0 && !pathExists(marker))
        err = writeFileAtomic(marker, kMarkerText).error();
    if (err != 0)
        return {err, marker};
    std::vector<std::string> used = usedTops(programFolder);
    if (std::find(used.begin(), used.end(), top) != used.end())
        return {};
    used.push_back(top);
    return {saveUsedTops(programFolder, used), usedTopsPath(programFolder)};
}

void forgetTopFolder(const std::string& programFolder, const std::string& top)
{
    std::vector<std::string> used = usedTops(programFolder);
    const auto gone = std::remove(used.begin(), used.end(), canonicalPath(top));
    if (gone == used.end())
        return;
    used.erase(gone, used.end());
    if (used.empty())
        (void)deleteFile(usedTopsPath(programFolder));  // a stale list only names more folders
    else
        saveUsedTops(programFolder, used);
}

std::vector<std::string> mountPointsSeen(const std::string& programFolder)
{
    return remembered(mountPointsPath(programFolder));
}

int rememberMountPoints(const std::string& programFolder, const std::vector<std::string>& addresses)
{
    std::vector<std::string> known = mountPointsSeen(programFolder);
    const size_t before = known.size();
    for (const std::string& a : addresses) {
        // A line break would split the entry; such an address is not remembered.
        if (a.find('\n') == std::string::npos && std::find(known.begin(), known.end(), a) == known.end())
            known.push_back(a);
    }
    return known.size() == before ? 0 : saveRemembered(mountPointsPath(programFolder), known);
}

bool isMirrorEntry(std::string_view name)
{
    return name == "Latest" || name == kTopMarkerName || generationNumber(std::string(name)) > 0 ||
           isHistoryWorkName(name) || (isTemporaryName(name) && name.starts_with(kTopMarkerName));
}

}  // namespace renvo
