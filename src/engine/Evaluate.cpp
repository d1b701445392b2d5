#include "engine/Evaluate.h"

#include "engine/ItemChecks.h"
#include "engine/Masks.h"
#include "engine/Scan.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <algorithm>
#include <future>
#include <optional>

namespace renvo {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// FNV-1a, continued from `h` over the bytes of `s`.
uint64_t hashOn(uint64_t h, std::string_view s)
{
    for (const char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ull;
    }
    return h;
}
constexpr uint64_t kHashStart = 0xCBF29CE484222325ull;

// The hash of a relative path given as folder and name, as if joined by one delimiter.
uint64_t pathHash(uint64_t folderHash, std::string_view name)
{
    uint64_t h = hashOn(folderHash, name);
    h ^= h >> 33;  // FNV's low bits alone spread poorly
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}
uint64_t folderHash(std::string_view rel)
{
    if (rel.empty())
        return kHashStart;
    const char delim = pathDelim();
    return hashOn(hashOn(kHashStart, rel), std::string_view(&delim, 1));
}

// The mirrored files of an item, looked up by relative path: the first unused entry that
// matches is taken and then counts as used. An open-addressing table of indices: entries of
// equal paths lie along one probe sequence in list order.
class MirrorFiles {
public:
    explicit MirrorFiles(Listing files) : files_(std::move(files)), taken_(files_.size(), false)
    {
        size_t capacity = 16;
        while (capacity < files_.size() * 2)
            capacity *= 2;
        slots_.assign(capacity, 0);
        mask_ = capacity - 1;
        if (fold_) {
            folded_.reserve(files_.size());
            for (size_t i = 0; i < files_.size(); ++i)
                folded_.push_back(pathKey(files_.relative(i)));
        }
        uint32_t folder = UINT32_MAX;
        uint64_t dirHash = 0;
        for (size_t i = 0; i < files_.size(); ++i) {
            if (files_[i].folder != folder) {
                folder = files_[i].folder;
                dirHash = folderHash(files_.folder(folder));
            }
            const uint64_t h = fold_ ? pathHash(kHashStart, folded_[i]) : pathHash(dirHash, files_.name(i));
            size_t slot = h & mask_;
            while (slots_[slot] != 0)
                slot = (slot + 1) & mask_;
            slots_[slot] = static_cast<uint32_t>(i + 1);
        }
    }

    // The source's file `name` in the folder `folder` (relative, hashed by folderHash): the
    // index of the first unused entry for it, which becomes used; kNone if there is none.
    size_t take(std::string_view folder, uint64_t dirHash, std::string_view name)
    {
        std::string key;
        uint64_t h;
        if (fold_) {
            key = folder.empty() ? pathKey(name) : pathKey(joinPath(folder, name));
            h = pathHash(kHashStart, key);
        } else {
            h = pathHash(dirHash, name);
        }
        for (size_t slot = h & mask_; slots_[slot] != 0; slot = (slot + 1) & mask_) {
            const size_t i = slots_[slot] - 1;
            if (taken_[i])
                continue;
            const bool same = fold_ ? folded_[i] == key
                                    : files_.name(i) == name && files_.folder(files_[i].folder) == folder;
            if (same) {
                taken_[i] = true;
                return i;
            }
        }
        return kNone;
    }

    bool taken(size_t i) const { return taken_[i]; }
    const Listing& files() const { return files_; }
    // The listing, for the queues; the table is of no use afterwards.
    Listing release()
    {
        slots_ = {};
        folded_ = {};
        return std::move(files_);
    }

private:
    const bool fold_ = nativePathRules().ignoreCase;
    Listing files_;
    std::vector<bool> taken_;
    std::vector<uint32_t> slots_;  // index + 1; 0 is empty
    size_t mask_ = 0;
    std::vector<std::string> folded_;
};

// A source that is not there: dropped only when it vanished from a folder that is there and
// can be read; otherwise its drive may just not be mounted, and the item stays.
void sourceMissing(const MirrorItem& item, EvalContext& ctx)
{
    const std::vector<std::string>& mounts = ctx.knownMountPoints;
    if (!parentIsPresent(item.address) || std::find(mounts.begin(), mounts.end(), item.address) != mounts.end())
        ctx.lists.unavailable.push_back({item.address, UnavailableItem::Why::Missing});
    else if (ctx.snapshot.DelOnNotExists)
        ctx.lists.dropped.push_back(item.address);
    else
        ctx.lists.unavailable.push_back({item.address, UnavailableItem::Why::Kept});
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
        sourceMissing(item, ctx);
        return;
    }
    const std::string name = extractFileName(item.address);
    const std::string rel = item.dest.empty() ? name : joinPath(item.dest, name);
    const std::string target = joinPath(ctx.latest, rel);
    ctx.lists.fileTargets.push_back(target);
    if (srcStamp != fileStamp(target)) {
        ctx.lists.queues.queueCopy(item.address, target);
        ctx.lists.update.add(rel);
    }
}

// The table's paths of a folder as a listing relative to the folder, with fresh stamps.
// Paths outside the folder, and any that a walk could not have named ("..", empty parts),
// come from damage and have no place in the mirror. Empty unless the result is Found.
TableBuffer::Lookup tableListing(TableBuffer& table, const std::string& address, Listing& out)
{
    const std::string prefix = address + pathDelim();
    StampReader stamps;
    uint32_t folder = UINT32_MAX;
    std::string_view folderRel;
    std::string path;
    const TableBuffer::Lookup found = table.lookup(address, [&](std::string_view f) {
        path.assign(f);
        const int32_t stamp = stamps.stamp(path);
        if (f.size() <= prefix.size() || f.compare(0, prefix.size(), prefix) != 0)
            return;
        const std::string_view inItem = f.substr(prefix.size());
        if (checkDestination(inItem) != ItemProblem::None)
            return;
        const size_t cut = inItem.rfind(pathDelim());
        const std::string_view dir = cut == std::string_view::npos ? std::string_view() : inItem.substr(0, cut);
        if (folder == UINT32_MAX || dir != folderRel) {
            folder = out.addFolder(dir);
            folderRel = out.folder(folder);
        }
        out.addFile(folder, cut == std::string_view::npos ? inItem : inItem.substr(cut + 1), stamp);
    });
    if (found != TableBuffer::Lookup::Found)
        out = Listing();
    return found;
}

// The item's source files: from the table, or a fresh listing (recorded in the table for
// table-mode folders).
Listing sourcesOf(const MirrorItem& item, int option, EvalContext& ctx)
{
    if (option == 3 && ctx.snapshot.standardRun) {
        Listing listed;
        const TableBuffer::Lookup found = tableListing(ctx.table, item.address, listed);
        if (found == TableBuffer::Lookup::SearchError || found == TableBuffer::Lookup::ReadError)
            ctx.lists.tableErrors.push_back(found);
        if (found == TableBuffer::Lookup::Found)
            return listed;
    }
    const size_t unreadBefore = ctx.lists.sourceNotes.unreadable.size();
    Listing listing = listTree(item.address, splitMasks(item.masks), item.includeSubfolders(), &ctx.lists.sourceNotes);
    // A listing that misses an unreadable folder is not kept: the next run looks again.
    if (option == 3 && ctx.lists.sourceNotes.unreadable.size() == unreadBefore)
        ctx.table.record(item.address, listing.size(), [&](size_t i) { return listing.path(item.address, i); });
    return listing;
}

void evaluateFolder(const MirrorItem& item, EvalContext& ctx)
{
    if (!directoryExists(item.address)) {
        sourceMissing(item, ctx);
        return;
    }
    // Remembered: once its mount point goes, the item is a drive that is away.
    if (isMountPoint(item.address))
        ctx.lists.mountPoints.push_back(item.address);
    // An empty mount point: the drive is not there. Its mirror must not be pruned to match.
    const bool sourceEmpty = folderIsEmpty(item.address);
    const int option = effectiveFolderOption(item, ctx.snapshot.FolderOption);
    const size_t unreadBefore = ctx.lists.sourceNotes.unreadable.size();
    const std::string mirrorRoot = item.dest.empty() ? ctx.latest : joinPath(ctx.latest, item.dest);
    // The two trees are walked at once: the walks wait on the file system, not on each other.
    // The mirror's side also builds its lookup table meanwhile.
    ListingNotes mirrorNotes;
    std::future<MirrorFiles> mirrorFiles = std::async(std::launch::async, [&mirrorRoot, &item, &mirrorNotes] {
        return MirrorFiles(listTree(mirrorRoot, {"*.*"}, item.includeSubfolders(), &mirrorNotes));
    });
    std::optional<MirrorFiles> early;
    if (sourceEmpty) {
        early.emplace(mirrorFiles.get());
        if (early->files().size() > 0) {
            ctx.lists.unavailable.push_back({item.address, UnavailableItem::Why::Empty});
            return;
        }
    }
    RunQueues& queues = ctx.lists.queues;
    const size_t copiesBefore = queues.copies();
    // The listing stays with the queues when any of its files is copied.
    const uint32_t kept = queues.keep(item.address, sourcesOf(item, option, ctx));
    const Listing& sources = queues.kept(kept);
    MirrorFiles mirror = early ? std::move(*early) : mirrorFiles.get();
    // Nothing but a run writes in Latest, and the owner holds the run lock.
    for (std::string& t : mirrorNotes.temporaries)
        ctx.lists.staleTemporaries.push_back(std::move(t));

    const uint32_t target = queues.targetRoot(mirrorRoot);
    const bool foldNames = nativePathRules().ignoreCase;
    uint32_t folder = UINT32_MAX;
    std::string_view folderRel;
    uint64_t dirHash = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const Listing::File& s = sources[i];
        if (s.folder != folder) {
            folder = s.folder;
            folderRel = sources.folder(folder);
            dirHash = folderHash(folderRel);
        }
        const size_t j = mirror.take(folderRel, dirHash, sources.name(i));
        if (j != kNone && s.stamp == mirror.files()[j].stamp)
            continue;
        const std::string inItem = sources.relative(i);
        // A walk never lists "." or ".." parts; a damaged table may, and they would lead the
        // copy out of the mirror.
        if (checkDestination(inItem) != ItemProblem::None)
            continue;
        ctx.lists.update.add(item.dest.empty() ? inItem : joinPath(item.dest, inItem));
        // Over the mirrored copy found, which may be spelt otherwise where letter case is ignored.
        std::string there;
        if (j != kNone && foldNames)
            there = mirror.files().path(mirrorRoot, j);
        if (there.empty() || there == joinPath(mirrorRoot, inItem))
            queues.queueCopy(kept, static_cast<uint32_t>(i), target);
        else
            queues.queueCopy(kept, static_cast<uint32_t>(i), std::move(there));
    }
    if (queues.copies() == copiesBefore)
        queues.forgetLast(kept);
    if (option != 1)
        return;
    // A source folder that could not be read says nothing about which of its files are
    // gone: the mirrored files under it stay.
    const std::string prefix = item.address + pathDelim();
    std::vector<std::string> keep;
    for (size_t u = unreadBefore; u < ctx.lists.sourceNotes.unreadable.size(); ++u) {
        const std::string& unread = ctx.lists.sourceNotes.unreadable[u].path();
        keep.push_back(unread.size() <= item.address.size()
                           ? mirrorRoot + pathDelim()
                           : joinPath(mirrorRoot, unread.substr(prefix.size())) + pathDelim());
    }
    std::vector<uint32_t> gone;
    std::string path;
    for (size_t i = 0; i < mirror.files().size(); ++i) {
        if (mirror.taken(i))
            continue;
        if (!keep.empty()) {
            mirror.files().path(mirrorRoot, i, path);
            if (std::any_of(keep.begin(), keep.end(), [&](const std::string& k) { return path.compare(0, k.size(), k) == 0; }))
                continue;
        }
        gone.push_back(static_cast<uint32_t>(i));
    }
    if (gone.empty())
        return;
    const uint32_t left = queues.keep(mirrorRoot, mirror.release());
    for (const uint32_t i : gone)
        queues.queueDeletion(left, i);
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


uint32_t RunQueues::keep(std::string root, Listing files)
{
    kept_.push_back({std::move(root), std::move(files)});
    return static_cast<uint32_t>(kept_.size() - 1);
}

void RunQueues::forgetLast(uint32_t listing)
{
    if (listing + 1 == kept_.size())
        kept_.pop_back();
}

uint32_t RunQueues::targetRoot(std::string root)
{
    if (roots_.empty() || roots_.back() != root)
        roots_.push_back(std::move(root));
    return static_cast<uint32_t>(roots_.size() - 1);
}

void RunQueues::queueCopy(std::string source, std::string destination)
{
    strings_.push_back(std::move(source));
    strings_.push_back(std::move(destination));
    copies_.push_back({kNone32, static_cast<uint32_t>(strings_.size() - 2), static_cast<uint32_t>(strings_.size() - 1)});
}

void RunQueues::queueCopy(uint32_t listing, uint32_t file, uint32_t targetRoot)
{
    copies_.push_back({listing, file, targetRoot});
}

void RunQueues::queueCopy(uint32_t listing, uint32_t file, std::string destination)
{
    strings_.push_back(std::move(destination));
    copies_.push_back({listing, file, kString | static_cast<uint32_t>(strings_.size() - 1)});
}

void RunQueues::queueDeletion(std::string path)
{
    strings_.push_back(std::move(path));
    deletions_.push_back({kNone32, static_cast<uint32_t>(strings_.size() - 1), 0});
}

void RunQueues::queueDeletion(uint32_t listing, uint32_t file)
{
    deletions_.push_back({listing, file, 0});
}

std::string RunQueues::listed(uint32_t listing, uint32_t file) const
{
    const Kept& k = kept_[listing];
    return k.files.path(k.root, file);
}

std::string RunQueues::source(size_t k) const
{
    const Entry& e = copies_[k];
    return e.listing == kNone32 ? strings_[e.file] : listed(e.listing, e.file);
}

std::string RunQueues::destination(size_t k) const
{
    const Entry& e = copies_[k];
    if (e.listing == kNone32)
        return strings_[e.target];
    if (e.target & kString)
        return strings_[e.target & ~kString];
    return kept_[e.listing].files.path(roots_[e.target], e.file);
}

std::string RunQueues::deletion(size_t k) const
{
    const Entry& e = deletions_[k];
    return e.listing == kNone32 ? strings_[e.file] : listed(e.listing, e.file);
}

std::vector<std::string> RunQueues::sources() const
{
    std::vector<std::string> out;
    for (size_t k = 0; k < copies(); ++k)
        out.push_back(source(k));
    return out;
}

std::vector<std::string> RunQueues::destinations() const
{
    std::vector<std::string> out;
    for (size_t k = 0; k < copies(); ++k)
        out.push_back(destination(k));
    return out;
}

std::vector<std::string> RunQueues::deletionPaths() const
{
    std::vector<std::string> out;
    for (size_t k = 0; k < deletions(); ++k)
        out.push_back(deletion(k));
    return out;
}

}  // namespace renvo
