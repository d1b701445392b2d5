#include "engine/History.h"

#include "platform/FileSys.h"
#include "platform/Path.h"
#include "platform/RemoveTree.h"

namespace renvo {

std::string generationFolder(const std::string& top, int n)
{
    return joinPath(top, "History" + std::to_string(n));
}

void historyStep(const std::string& top, int limitHistory, const UpdateList& updated,
                 const std::function<void()>& advance)
{
    const std::string latest = joinPath(top, "Latest");
    if (limitHistory > 0 && directoryExists(latest)) {
        if (updated.empty())
            return;
        const std::string oldest = generationFolder(top, limitHistory);
        if (pathExists(oldest))
            removeTree(oldest);
        for (int n = limitHistory - 1; n >= 1; --n) {
            const std::string from = generationFolder(top, n);
            if (pathExists(from))
                renamePath(from, generationFolder(top, n + 1));
            advance();
        }
        const std::string first = generationFolder(top, 1);
        std::string madeFolder;
        for (const std::string& rel : updated.paths()) {
            const std::string src = joinPath(latest, rel);
            if (fileExists(src)) {
                const std::string dst = joinPath(first, rel);
                const std::string folder = extractFileDir(dst);
                if (folder != madeFolder && forceDirectories(folder))
                    madeFolder = folder;
                copyFileReplacing(src, dst);
            }
            advance();
        }
    }
    advance();
    for (int n = limitHistory + 1;; ++n) {
        const std::string gen = generationFolder(top, n);
        if (!pathExists(gen))
            break;
        removeTree(gen);
    }
}

}  // namespace renvo
