#include "engine/Evaluate.h"

#include "engine/ItemChecks.h"
#include "engine/Masks.h"
#include "engine/Scan.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <algorithm>
#include <future>
#include <unordered_map>

namespace renvo {

namespace {

// The mirrored files of an item, looked up by target path: the first unused entry that
// matches is taken and then counts as used.
class MirrorList {
public:
    explicit MirrorList(std::vector<FoundFile> files) : files_(std::move(files)), next_(files_.size(), kNone)
    {
        // Keys point into the entries (or their folded forms), which never move afterwards.
        if (fold_) {
            folded_.reserve(files_.size());
            for (const FoundFile& f : files_)
                folded_.push_back(pathKey(f.path));
        }
        index_.reserve(files_.size());
        for (size_t i = files_.size(); i-- > 0;) {
            auto [it, inserted] = index_.try_emplace(fold_ ? folded_[i] : files_[i].path, i);
            if (!inserted) {
                next_[i] = it->second;  // keeps the chain in list order
                it->second = i;
            }
        }
    }

    // Index of the first unused entry for the path, which becomes used; kNone if there is none.
    size_t take(const std::string& path)
    {
        const std::string folded = fold_ ? pathKey(path) : std::string();
        auto it = index_.find(fold_ ? std::string_view(folded) : std::string_view(path));
        if (it == index_.end())
            return kNone;
        const size_t i = it->second;
        if (next_[i] == kNone)
            index_.erase(it);
        else
            it->second = next_[i];
        taken_[i] = true;
        return i;
    }

    const FoundFile& operator[](size_t i) const { return files_[i]; }

    // Entries never taken, in list order.
    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> out;
        for (size_t i = 0; i < files_.size(); ++i) {
            if (!taken_[i])
                out.push_back(files_[i].path);
        }
        return out;
    }

    static constexpr size_t kNone = static_cast<size_t>(-1);

private:
    const bool fold_ = nativePathRules().ignoreCase;
    std::vector<FoundFile> files_;
    std::vector<std::string> folded_;
    std::vector<size_t> next_;
    std::vector<bool> taken_ = std::vector<bool>(files_.size(), false);
    std::unordered_map<std::string_view, size_t> index_;
};

void queueCopy(EvalContext& ctx, const std::string& src, const std::string& dst, const std::string& rel)
{
    ctx.lists.sources.push_back(src);
    ctx.lists.destinations.push_back(dst);
    ctx.lists.update.add(rel);
}

void evaluateFile(const MirrorItem& item, EvalContext& ctx)
{
    if (isSpecialPath(item.address)) {
        ctx.lists.sourceNotes.specials.push_back(item.address);
        return;
    }
    const int32_t srcStamp = fileStamp(item.address);
    if (srcStamp == -1 && !fileExists(item.address)) {
        // The mirrored copy stays; the source path itself is never queued for deletion.
        if (ctx.snapshot.DelOnNotExists)
            ctx.lists.dropped.push_back(item.address);
        return;
    }
    const std::string name = extractFileName(item.address);
    const std::string rel = item.dest.empty() ? name : joinPath(item.dest, name);
    const std::string target = joinPath(ctx.latest, rel);
    ctx.lists.fileTargets.push_back(target);
    if (srcStamp != fileStamp(target))
        queueCopy(ctx, item.address, target, rel);
}

// The item's source files: from the table, or a fresh listing (recorded in the table for
// table-mode folders).
std::vector<FoundFile> sourcesOf(const MirrorItem& item, int option, EvalContext& ctx)
{
    if (option == 3 && ctx.snapshot.standardRun) {
        std::vector<std::string> files;
        const TableBuffer::Lookup found = ctx.table.lookup(item.address, files);
        if (found == TableBuffer::Lookup::SearchError || found == TableBuffer::Lookup::ReadError)
            ctx.lists.tableErrors.push_back(found);
        if (found == TableBuffer::Lookup::Found) {
            std::vector<FoundFile> out;
            out.reserve(files.size());
            StampReader stamps;
            for (std::string& f : files) {
                const int32_t stamp = stamps.stamp(f);
                out.push_back({std::move(f), stamp});
            }
            return out;
        }
    }
    const size_t unreadBefore = ctx.lists.sourceNotes.unreadable.size();
    std::vector<FoundFile> listing =
        sourceListing(item.address, splitMasks(item.masks), item.includeSubfolders(), &ctx.lists.sourceNotes);
    // A listing that misses an unreadable folder is not kept: the next run looks again.
    if (option == 3 && ctx.lists.sourceNotes.unreadable.size() == unreadBefore) {
        std::vector<std::string> paths;
        paths.reserve(listing.size());
        for (const FoundFile& f : listing)
            paths.push_back(f.path);
        ctx.table.record(item.address, paths);
    }
    return listing;
}

void evaluateFolder(const MirrorItem& item, EvalContext& ctx)
{
    if (!directoryExists(item.address)) {
        if (ctx.snapshot.DelOnNotExists)
            ctx.lists.dropped.push_back(item.address);
        return;
    }
    const int option = effectiveFolderOption(item, ctx.snapshot.FolderOption);
    const size_t unreadBefore = ctx.lists.sourceNotes.unreadable.size();
    const std::string mirrorRoot = item.dest.empty() ? ctx.latest : joinPath(ctx.latest, item.dest);
    // The two trees are walked at once: the walks wait on the file system, not on each other.
    ListingNotes mirrorNotes;
    std::future<std::vector<FoundFile>> mirrorFiles = std::async(std::launch::async, [&mirrorRoot, &item, &mirrorNotes] {
        return sourceListing(mirrorRoot, {"*.*"}, item.includeSubfolders(), &mirrorNotes);
    });
    const std::vector<FoundFile> sources = sourcesOf(item, option, ctx);
    MirrorList mirror(mirrorFiles.get());
    // Nothing but a run writes in Latest, and the owner holds the run lock.
    for (std::string& t : mirrorNotes.temporaries)
        ctx.lists.staleTemporaries.push_back(std::move(t));

    // The listing joins one delimiter to the address as stored, also to one that ends with a
    // delimiter ("/"): cutting exactly that keeps targets equal to the mirror list's paths.
    const std::string prefix = item.address + pathDelim();
    std::string target = mirrorRoot + pathDelim();  // built in place: most files need no copy
    const size_t targetBase = target.size();
    for (const FoundFile& s : sources) {
        // A listed path outside the item's folder (a damaged table) has no place in the mirror.
        if (s.path.size() <= prefix.size() || s.path.compare(0, prefix.size(), prefix) != 0)
            continue;
        target.resize(targetBase);
        target.append(s.path, prefix.size());
        const size_t j = mirror.take(target);
        if (j != MirrorList::kNone && s.stamp == mirror[j].stamp)
            continue;
        const std::string inItem = s.path.substr(prefix.size());
        // A walk never lists "." or ".." parts; a damaged table may, and they would lead the
        // copy out of the mirror.
        if (checkDestination(inItem) != ItemProblem::None)
            continue;
        const std::string rel = item.dest.empty() ? inItem : joinPath(item.dest, inItem);
        queueCopy(ctx, s.path, j == MirrorList::kNone ? target : mirror[j].path, rel);
    }
    if (option == 1) {
        // A source folder that could not be read says nothing about which of its files are
        // gone: the mirrored files under it stay.
        std::vector<std::string> keep;
        for (size_t u = unreadBefore; u < ctx.lists.sourceNotes.unreadable.size(); ++u) {
            const std::string& folder = ctx.lists.sourceNotes.unreadable[u].path;
            keep.push_back(folder.size() <= item.address.size()
                               ? mirrorRoot + pathDelim()
                               : joinPath(mirrorRoot, folder.substr(prefix.size())) + pathDelim());
        }
        for (std::string& left : mirror.leftovers()) {
            const bool kept = std::any_of(keep.begin(), keep.end(), [&](const std::string& k) {
                return left.compare(0, k.size(), k) == 0;
            });
            if (!kept)
                ctx.lists.deletions.push_back(std::move(left));
        }
    }
}

}  // namespace

int effectiveFolderOption(const MirrorItem& item, uint8_t globalOption)
{
    const int option = item.folderOption != 0 ? item.folderOption : globalOption;
    return (option >= 1 && option <= 3) ? option : 2;
}

void evaluateItem(const MirrorItem& item, EvalContext& ctx)
{
    if (item.isFile())
        evaluateFile(item, ctx);
    else
        evaluateFolder(item, ctx);
}

}  // namespace renvo
