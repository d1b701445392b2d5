#include "listedit/ListCommands.h"

#include "engine/Masks.h"
#include "engine/Scan.h"
#include "engine/TopFolder.h"
#include "platform/CanonicalPath.h"
#include "platform/FileSys.h"
#include "platform/Path.h"
#include "platform/Program.h"
#include "platform/RunLock.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace renvo {

namespace {

constexpr size_t kNamedRefusals = 5;

constexpr char kAskDeleteCopies[] = "ミラーリング先の該当ファイルも消去しますか？\r\n(オリジナルのファイルは消えません)";
constexpr char kAskClear[] = "リストをクリアします。この操作はやり直しできません\r\nそれでもクリアしますか？";
constexpr char kAskEraseCopy[] =
    "ミラーリング先の該当ファイルを削除します\r\n(オリジナルのファイルは消えません)\r\nよろしいですか？";
constexpr char kNoMirroredCopy[] = "ミラーリングされたファイルが見つかりません";
constexpr char kNoTopFolder[] = "ミラーリング先が見つかりません\r\n実行できません";

int progressInt(size_t n)
{
    return static_cast<int>(std::min<size_t>(n, static_cast<size_t>(INT32_MAX)));
}

// Progress maximum of n steps at positions 0..n-1 (0 for none).
int lastPosition(size_t n)
{
    return n == 0 ? 0 : progressInt(n - 1);
}

std::string lengthLimitText()
{
    return "（" + std::to_string(kMaxAddressBytes) + " バイトまで）";
}

std::string addressRefusal(ItemProblem p, size_t size)
{
    switch (p) {
    case ItemProblem::EmptyAddress:
        return "空のアドレスは追加できません";
    case ItemProblem::AddressHasNul:
        return "次のアドレスは使えない文字を含むため追加できません";
    case ItemProblem::AddressNotAbsolute:
        return "次のアドレスはフルパスでないため追加できません";
    default:
        break;
    }
    if (size > kMaxAddressBytes)
        return "次のアドレスは長すぎるため追加できません" + lengthLimitText();
    return {};
}

std::string destRefusal(const std::string& dest)
{
    if (dest.size() > kMaxAddressBytes)
        return "次のアドレスはミラーリング先が長すぎるため追加できません" + lengthLimitText();
    if (checkDestination(dest) != ItemProblem::None)
        return "次のアドレスはミラーリング先 " + dest + " が正しくないため追加できません";
    return {};
}

MirrorItem newItem(bool isFile, const std::string& address)
{
    MirrorItem item;
    item.runFlag = 1;
    item.everyRun = 1;  // いつもする
    item.folderOption = 0;  // 準拠
    item.kind = isFile ? 1 : 0;
    item.address = address;
    return item;
}

// Why `path` must not be deleted as a whole: the root, the home folder or a folder holding it.
std::string protectedFolderRefusal(const std::string& canonical)
{
    if (canonical == "/")
        return "ルートフォルダです";
    const std::string home = canonicalPath(homeFolder());
    if (!home.empty() && isSameOrInside(home, canonical))
        return "ホームフォルダであるか，ホームフォルダを含んでいます";
    return {};
}

void deletionFailed(BusyState& busy, const Status& r)
{
    if (!r)
        busy.note("削除できませんでした: " + r.message());
}

void tellError(ListContext& ctx, const std::string& text)
{
    ctx.prompt.tell(kErrorDialogCaption, text, PromptIcon::Error, ctx.owner);
}

PromptAnswer askYesNo(ListContext& ctx, const char* caption, const std::string& text, PromptIcon icon)
{
    return ctx.prompt.ask({caption, text, icon, PromptButtons::YesNo, PromptAnswer::Yes, ctx.owner});
}

std::vector<size_t> validSelection(const ItemList& list, std::vector<size_t> selection)
{
    std::sort(selection.begin(), selection.end());
    selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
    while (!selection.empty() && selection.back() >= list.size())
        selection.pop_back();
    return selection;
}

}  // namespace

// ---- destinations ----

std::string folderRowDest(const std::string& address, const PathRules& r)
{
    return relativePath(extractFileDir(address, r), address, r);
}

std::string singleFileDest(const std::string& file, const PathRules& r)
{
    const std::string folder = extractFileDir(file, r);
    return relativePath(folder, folder, r);
}

std::string bulkFileDest(const std::string& searchFolder, const std::string& file, const PathRules& r)
{
    return relativePath(searchFolder, extractFileDir(file, r), r);
}

// ---- adding ----

ItemAdder::ItemAdder(ItemList& list) : list_(list), batch_(list)
{
    addresses_.reserve(list.size() * 2 + 16);
    for (const MirrorItem& item : list.items())
        addresses_.insert(item.address);
}

ItemAdder::Result ItemAdder::admit(const std::string& address, const std::string& dest)
{
    if (addresses_.count(address))
        return Result::Duplicate;
    std::string why = addressRefusal(checkAddress(address), address.size());
    if (why.empty())
        why = destRefusal(dest);
    if (!why.empty()) {
        refused_.push_back({address, std::move(why)});
        return Result::Refused;
    }
    addresses_.insert(address);
    ++added_;
    return Result::Added;
}

ItemAdder::Result ItemAdder::addFile(const std::string& address, const std::string& dest)
{
    const Result r = admit(address, dest);
    if (r != Result::Added)
        return r;
    MirrorItem item = newItem(true, address);
    item.subfolders = 0;
    item.masks = std::string(kNotApplicableWord);
    item.dest = dest;
    list_.add(std::move(item));
    return r;
}

ItemAdder::Result ItemAdder::addFolder(const std::string& address, bool subfolders, const std::string& masks)
{
    const std::string dest = folderRowDest(address);
    const Result r = admit(address, dest);
    if (r != Result::Added)
        return r;
    MirrorItem item = newItem(false, address);
    item.subfolders = subfolders ? 1 : 0;
    item.masks = masks;
    item.dest = dest;
    list_.add(std::move(item));
    return r;
}

void reportRefused(Prompt& prompt, const void* owner, const std::vector<RefusedAddress>& refused)
{
    if (refused.empty())
        return;
    std::string text = std::to_string(refused.size()) + " 件のアイテムを追加できませんでした";
    for (size_t i = 0; i < refused.size() && i < kNamedRefusals; ++i)
        text += "\r\n\r\n" + refused[i].reason + "\r\n" + refused[i].address;
    if (refused.size() > kNamedRefusals)
        text += "\r\n\r\nほか " + std::to_string(refused.size() - kNamedRefusals) + " 件";
    prompt.tell(kErrorDialogCaption, text, PromptIcon::Error, owner);
}

size_t addFolderItem(ListContext& ctx, const std::string& folder, bool subfolders, const std::string& maskText)
{
    ItemAdder adder(ctx.list);
    adder.addFolder(folder, subfolders, maskText);
    reportRefused(ctx.prompt, ctx.owner, adder.refused());
    return adder.added();
}

size_t bulkAdd(ListContext& ctx, const std::string& folder, bool subfolders, const std::string& maskText)
{
    ctx.busy.begin(kAddingFilesText, true);
    ctx.busy.showProgress(0);
    // The destinations count from the folder without a trailing delimiter, or "Data/" would
    // give "../Data".
    std::string base = folder;
    while (base.size() > 1 && base.back() == pathDelim())
        base.pop_back();
    ListingNotes notes;
    // Each folder of the scan is read once, for all masks, in the scan's order.
    const std::vector<FoundFile> files = sourceListing(base, splitMasks(maskText), subfolders, &notes);
    for (const Status& u : notes.unreadable)
        ctx.busy.note("フォルダを読めないため飛ばしました: " + u.path() + " (" + errorText(u.error()) + ")");

    ItemAdder adder(ctx.list);
    ctx.busy.showProgress(lastPosition(files.size()));
    // The files of one folder come together and share their destination.
    std::string folderOfLast, destOfLast;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& f = files[i].path;
        if (files[i].stamp < 0) {
            // The scan found its name but no file any more.
            ctx.busy.note("ファイルが見つからないため飛ばしました: " + f);
        } else {
            if (std::string folderOfFile = extractFileDir(f); folderOfFile != folderOfLast) {
                destOfLast = bulkFileDest(base, f);
                folderOfLast = std::move(folderOfFile);
            }
            adder.addFile(f, destOfLast);
        }
        ctx.busy.setPosition(progressInt(i));
    }
    ctx.busy.end();
    reportRefused(ctx.prompt, ctx.owner, adder.refused());
    return adder.added();
}

size_t addChosenFiles(ListContext& ctx, const std::vector<std::string>& files)
{
    ctx.busy.begin(kAddingFilesText, true);
    ctx.busy.showProgress(lastPosition(files.size()));
    ItemAdder adder(ctx.list);
    for (size_t i = 0; i < files.size(); ++i) {
        if (!pathExists(files[i]))
            ctx.busy.note("ファイルが見つからないため飛ばしました: " + files[i]);
        else
            adder.addFile(files[i], singleFileDest(files[i]));
        ctx.busy.setPosition(progressInt(i));
    }
    ctx.busy.end();
    reportRefused(ctx.prompt, ctx.owner, adder.refused());
    return adder.added();
}

size_t dropPaths(ListContext& ctx, const std::vector<std::string>& paths)
{
    ctx.busy.begin(kAddingFilesText, true);
    ItemAdder adder(ctx.list);
    for (const std::string& p : paths) {
        if (directoryExists(p))
            adder.addFolder(p, false, "*.*");
        else
            adder.addFile(p, singleFileDest(p));
    }
    ctx.busy.end();
    reportRefused(ctx.prompt, ctx.owner, adder.refused());
    return adder.added();
}

// ---- mirrored copies ----

std::string mirroredCopyPath(const std::string& topFolder, const MirrorItem& item)
{
    std::string path = joinPath(topFolder, "Latest");
    if (!item.dest.empty())
        path = joinPath(path, item.dest);
    if (item.isFile())
        path = joinPath(path, extractFileName(item.address));
    return path;
}

std::string mirrorDeletionRefusal(const std::string& topFolder, const ItemList& list)
{
    const std::string head = "ミラーリング先フォルダ " + topFolder + " の中は削除できません\r\n";
    if (topFolder.empty())
        return "ミラーリング先フォルダが設定されていないため，ミラーリング先は削除できません";
    if (checkAddress(topFolder) != ItemProblem::None)
        return head + "(フルパスではありません)";
    const std::string top = canonicalPath(topFolder);
    if (const std::string why = protectedFolderRefusal(top); !why.empty())
        return head + "(" + why + ")";
    for (const MirrorItem& item : list.items()) {
        if (checkAddress(item.address) != ItemProblem::None)
            continue;  // names nothing a run would mirror
        const std::string address = canonicalPath(item.address);
        if (isSameOrInside(address, top) || isSameOrInside(top, address))
            return head + "(ミラーリング元 " + item.address + " と重なっています)";
    }
    return {};
}

MirrorCopyGuard::MirrorCopyGuard(const std::string& topFolder, const ItemList& list)
    : refusal_(mirrorDeletionRefusal(topFolder, list))
{
    if (!refusal_.empty())
        return;
    const std::string top = canonicalPath(topFolder);
    latest_ = canonicalPath(joinPath(top, "Latest"));
    // A Latest that is a link out of the top folder would take the deletions with it.
    if (latest_ == top || !isSameOrInside(latest_, top))
        refusal_ = "ミラーリング先フォルダの Latest が " + latest_ + " を指しているため，ミラーリング先は削除できません";
}

const std::string& MirrorCopyGuard::canonicalBelowLatest(const std::string& dest) const
{
    // Rows share few destinations: each is resolved once per command.
    auto it = resolved_.find(dest);
    if (it == resolved_.end())
        it = resolved_.emplace(dest, canonicalPath(joinPath(latest_, dest))).first;
    return it->second;
}

std::string MirrorCopyGuard::copyToDelete(const MirrorItem& item, std::string& why) const
{
    why.clear();
    if (!refusal_.empty()) {
        why = refusal_;
        return {};
    }
    if (checkDestination(item.dest) != ItemProblem::None) {
        why = "ミラーリング先サブフォルダ " + item.dest + " が正しくないため，ミラーリング先は削除できません";
        return {};
    }
    std::string name;
    std::string parent = latest_;
    if (item.isFile()) {
        name = extractFileName(item.address);
        if (name.empty() || name == "." || name == "..") {
            why = "アドレス " + item.address + " はファイル名を持たないため，ミラーリング先は削除できません";
            return {};
        }
        if (!item.dest.empty())
            parent = canonicalBelowLatest(item.dest);
    } else {
        if (item.dest.empty()) {
            why = "ミラーリング先サブフォルダが空のフォルダアイテムです\r\n"
                  "ミラーリング先は Latest フォルダ全体になるため，削除できません";
            return {};
        }
        name = extractFileName(item.dest);
        const std::string destDir = extractFileDir(item.dest);
        if (destDir != item.dest && !destDir.empty())
            parent = canonicalBelowLatest(destDir);
    }
    // Only the copy's own name may be a link (it is removed as one); the folders above it must
    // lie in Latest as they are resolved.
    if (!isSameOrInside(parent, latest_)) {
        why = "ミラーリング先サブフォルダ " + item.dest + " は Latest フォルダの外を指すため，削除できません";
        return {};
    }
    return joinPath(parent, name);
}

bool deleteMirroredCopy(ListContext& ctx, const MirrorCopyGuard& guard, const MirrorItem& item)
{
    std::string why;
    const std::string path = guard.copyToDelete(item, why);
    if (path.empty()) {
        tellError(ctx, why);
        return false;
    }
    if (!pathExists(path))
        return true;
    const Status r = ctx.fileOp.DeleteFiles(path);
    deletionFailed(ctx.busy, r);
    return r.ok();
}

bool deleteMirroredCopy(ListContext& ctx, const std::string& topFolder, const MirrorItem& item)
{
    return deleteMirroredCopy(ctx, MirrorCopyGuard(topFolder, ctx.list), item);
}

std::string mirroredCopyToOpen(ListContext& ctx, const std::string& topFolder, const MirrorItem& item)
{
    const std::string path = mirroredCopyPath(topFolder, item);
    if (fileExists(path) || directoryExists(path))
        return path;
    tellError(ctx, kNoMirroredCopy);
    return {};
}

// ---- removing rows ----

size_t deleteRows(ListContext& ctx, const MirrorSettingsView& settings, std::vector<size_t> selection)
{
    selection = validSelection(ctx.list, std::move(selection));
    if (selection.empty())
        return 0;
    std::optional<MirrorCopyGuard> guard;
    bool all = false;
    bool refusalTold = false;
    std::vector<RefusedAddress> refused;
    for (size_t k = 0; k < selection.size(); ++k) {
        const MirrorItem& item = ctx.list.at(selection[k]);
        bool withCopy = settings.delFilesOnDelItem && (!settings.queryDelFiles || all);
        if (settings.delFilesOnDelItem && settings.queryDelFiles && !all) {
            // The rows not yet removed are still selected.
            const bool last = selection.size() - k == 1;
            const PromptAnswer a =
                ctx.prompt.ask({kConfirmationDialogCaption, kAskDeleteCopies, PromptIcon::Question,
                                last ? PromptButtons::YesNo : PromptButtons::YesNoAll, PromptAnswer::Yes, ctx.owner});
            all = a == PromptAnswer::All;
            withCopy = a == PromptAnswer::Yes || all;
        }
        if (!withCopy)
            continue;
        if (!guard)
            guard.emplace(settings.topFolder, ctx.list);
        std::string why;
        const std::string path = guard->copyToDelete(item, why);
        if (path.empty()) {
            // One box for the whole command, not one per row.
            if (!guard->refusal().empty()) {
                if (!refusalTold)
                    tellError(ctx, why);
                refusalTold = true;
            } else {
                refused.push_back({item.address, why});
            }
            continue;
        }
        ctx.busy.begin(kDeletingCopiesText, true);
        if (pathExists(path))
            deletionFailed(ctx.busy, ctx.fileOp.DeleteFiles(path));
        ctx.busy.end();
    }
    if (!refused.empty()) {
        std::string text = std::to_string(refused.size()) + " 件のミラーリング先を削除しませんでした";
        for (size_t i = 0; i < refused.size() && i < kNamedRefusals; ++i)
            text += "\r\n\r\n" + refused[i].address + "\r\n" + refused[i].reason;
        tellError(ctx, text);
    }
    // Every selected row goes, whatever was decided for its copy, in one pass.
    ctx.list.remove(selection);
    return selection.size();
}

void setRunCondition(ItemList& list, const std::vector<size_t>& selection, RunCondition condition)
{
    ItemList::Batch batch(list);
    for (const size_t row : selection) {
        if (row < list.size())
            list.setRunCondition(row, condition);
    }
}

void setFolderOption(ItemList& list, const std::vector<size_t>& selection, int option)
{
    ItemList::Batch batch(list);
    for (const size_t row : selection) {
        if (row < list.size() && !list.at(row).isFile())
            list.setFolderOption(row, option);
    }
}

void setAllRunConditions(ItemList& list, RunCondition condition)
{
    ItemList::Batch batch(list);
    for (size_t row = 0; row < list.size(); ++row)
        list.setRunCondition(row, condition);
}

bool clearList(ListContext& ctx)
{
    if (askYesNo(ctx, kConfirmationDialogCaption, kAskClear, PromptIcon::Question) != PromptAnswer::Yes)
        return false;
    ctx.list.clear();
    return true;
}

// ---- the address check ----

bool checkAddresses(ListContext& ctx, const std::string& programFolder)
{
    // A run rewrites the same list (dropping vanished items): never both at once.
    RunLock lock = RunLock::tryAcquire(programFolder);
    if (lock.state() == RunLock::State::busy) {
        ctx.prompt.tell(kRefusalCaption, kRefusalText, PromptIcon::Warning, ctx.owner);
        return false;
    }
    if (!lock.held()) {
        tellError(ctx, lock.refusal());
        return false;
    }
    ctx.busy.begin(kCheckingAddressesText, false);
    try {
        filterListFile(
            programFolder,
            [&](const MirrorItem& item, size_t index) {
                ctx.busy.setPosition(progressInt(index + 1));
                // Anything at the address counts, a link by itself (a run copies it as a link).
                return checkAddress(item.address) == ItemProblem::None && pathExists(item.address);
            },
            [&](size_t records) { ctx.busy.showProgress(progressInt(records)); });
    } catch (const EFOpenError& e) {
        ctx.busy.end();
        if (e.err == ENOENT && !pathExists(e.path))
            return true;  // no list, nothing to check
        tellError(ctx, "リストファイル " + e.path + " を書き換えられませんでした: " + errorText(e.err) +
                           "\r\n(元のリストはそのままです)");
        return false;
    }
    ctx.busy.end();
    return true;
}

// ---- commands on what lies behind the rows ----

bool eraseMirroredCopy(ListContext& ctx, const std::string& topFolder, size_t row)
{
    if (row >= ctx.list.size())
        return false;
    const MirrorCopyGuard guard(topFolder, ctx.list);
    std::string why;
    if (guard.copyToDelete(ctx.list.at(row), why).empty()) {
        tellError(ctx, why);
        return false;
    }
    if (askYesNo(ctx, kConfirmationDialogCaption, kAskEraseCopy, PromptIcon::Question) != PromptAnswer::Yes)
        return false;
    ctx.busy.begin(kDeletingCopiesText, true);
    const bool done = deleteMirroredCopy(ctx, guard, ctx.list.at(row));
    ctx.busy.end();
    return done;
}

size_t deleteAddress(ListContext& ctx, const MirrorSettingsView& settings, std::vector<size_t> selection)
{
    selection = validSelection(ctx.list, std::move(selection));
    if (selection.empty())
        return 0;
    const std::string address = ctx.list.at(selection.front()).address;
    const std::string text = "アドレス " + address + " を削除します\r\nこれはミラーリング元です\r\n\r\n本当に削除していいですか？";
    if (askYesNo(ctx, kWarningDialogCaption, text, PromptIcon::Warning) != PromptAnswer::Yes)
        return 0;
    if (checkAddress(address) != ItemProblem::None) {
        tellError(ctx, "アドレス " + address + " はフルパスではないため削除できません");
    } else if (const std::string why = protectedFolderRefusal(canonicalPath(address)); !why.empty()) {
        tellError(ctx, "アドレス " + address + " は削除できません\r\n(" + why + ")");
    } else {
        ctx.busy.begin({}, true);
        deletionFailed(ctx.busy, ctx.fileOp.DeleteFiles(address));
        ctx.busy.end();
    }
    return deleteRows(ctx, settings, std::move(selection));
}

std::string eraseMirrorQuestion(const std::string& topFolder)
{
    return "ミラーリング先を完全に消去します\r\n" + topFolder +
           "\r\nこの操作はやり直しできません\r\n\r\nそれでも実行しますか？";
}

bool eraseWholeMirror(ListContext& ctx, const std::string& topFolder, const std::string& programFolder)
{
    if (topFolder.empty() || !directoryExists(topFolder)) {
        tellError(ctx, kNoTopFolder);
        return false;
    }
    if (const std::string why = mirrorDeletionRefusal(topFolder, ctx.list); !why.empty()) {
        tellError(ctx, why);
        return false;
    }
    if (askYesNo(ctx, kWarningDialogCaption, eraseMirrorQuestion(topFolder), PromptIcon::Warning) != PromptAnswer::Yes)
        return false;
    // A top folder given as a link is read where it points. Only what runs made there goes:
    // the top folder may be a drive root that also holds the user's own files.
    const std::string top = canonicalPath(topFolder);
    ctx.busy.begin(kErasingMirrorText, true);
    std::vector<DirEntry> found;
    Status failed = readDirectoryInto(top, false, found);
    // The marker goes last and only after everything else: a half-erased mirror still counts
    // as one, and the next run does not take it for a drive that is not there.
    std::vector<std::string> own, markers;
    for (const DirEntry& e : found) {
        if (isMirrorEntry(e.name))
            (e.name.starts_with(kTopMarkerName) ? markers : own).push_back(joinPath(top, e.name));
    }
    ctx.busy.showProgress(lastPosition(own.size() + markers.size()));
    size_t step = 0;
    auto erase = [&](const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            // Each entry as a whole: a link is removed as the link, a folder never left
            // through one.
            if (const Status r = ctx.fileOp.DeleteFiles(path); !r && failed)
                failed = r;
            ctx.busy.setPosition(progressInt(step++));
        }
    };
    erase(own);
    if (failed)
        erase(markers);
    ctx.busy.end();
    if (!failed) {
        deletionFailed(ctx.busy, failed);
        return false;
    }
    // Erased on purpose: the next run starts this top folder anew instead of refusing it.
    forgetTopFolder(programFolder, topFolder);
    return true;
}

}  // namespace renvo
