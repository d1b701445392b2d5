#pragma once
// The work of the list editor's commands, apart from the window: adding rows (folder, bulk
// search, chosen files, drop), removing them with or without their mirrored copies, the run
// condition and folder option switches, the address check, and the commands that act on the
// mirrored copies. No Qt here: the window passes its rows, its selection, the prompt, the
// file operation and a busy-state sink, so every command is tested on real files alone.

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/ItemList.h"
#include "engine/RunTexts.h"
#include "platform/FileOperation.h"
#include "prompt/Prompt.h"

namespace renvo {

// The busy state of the list window while a long command works: hourglass, the command's
// text in panel 0, the progress bar. A test records the calls.
class BusyState {
public:
    virtual ~BusyState() = default;
    // Hourglass cursor (when asked for) and the busy text in panel 0 (an empty text leaves
    // panel 0 as it is); repaints.
    virtual void begin(const std::string& text, bool hourglass) = 0;
    // Progress bar shown at position 0 with this maximum.
    virtual void showProgress(int maximum) = 0;
    // Progress position; repaints.
    virtual void setPosition(int position) = 0;
    // A line for panel 0 about something skipped (an unreadable folder, a vanished file).
    virtual void note(const std::string& text) = 0;
    // Normal cursor, bar hidden, help prompt in panel 0.
    virtual void end() = 0;
};

// A busy state that shows nothing.
class NoBusyState : public BusyState {
public:
    void begin(const std::string&, bool) override {}
    void showProgress(int) override {}
    void setPosition(int) override {}
    void note(const std::string&) override {}
    void end() override {}
};

// What the commands work on.
struct ListContext {
    ItemList& list;
    Prompt& prompt;
    const void* owner = nullptr;  // the list window, owner of every box
    BusyState& busy;
    TFileOperation& fileOp;       // the main form's shoMirror
};


// Busy texts of panel 0.
inline constexpr char kAddingFilesText[] = "ファイルを検索してリストに追加しています...";
inline constexpr char kDeletingCopiesText[] = "ミラーリング先の該当ファイルを削除しています...";
inline constexpr char kCheckingAddressesText[] = "アドレスチェックをしています...";
inline constexpr char kErasingMirrorText[] = "ミラーリング先を削除しています...";

// Default destination subfolders of new rows (the relative-path rule on this platform's paths).
// A folder row: relative path from the folder of the address to the address ("/home/u/Data/Work"
// gives "Data/Work").
std::string folderRowDest(const std::string& address, const PathRules& r = nativePathRules());
// A file row from one file (chosen or dropped): the name of the folder that holds it
// ("/home/u/Docs/a.txt" gives "Docs"; a file in "/" gives "").
std::string singleFileDest(const std::string& file, const PathRules& r = nativePathRules());
// A file row from a bulk search: relative path from the search folder as typed to the folder
// of the file (search "/d/Data": "/d/Data/Sub/b.txt" gives "Data/Sub").
std::string bulkFileDest(const std::string& searchFolder, const std::string& file,
                         const PathRules& r = nativePathRules());

// An address (or its destination) that was not added, with the sentence that says why.
struct RefusedAddress {
    std::string address;
    std::string reason;
};

// AddItem with its duplicate rule as a hash look-up: an address already in the list (byte for
// byte) adds nothing. An address that is empty, not absolute, holds a NUL or is longer than
// kMaxAddressBytes is refused, and so is a destination that is longer or names no folder below
// Latest; refusals are collected, so the command can name them in one box at its end.
// The look-up is built once from the list: add rows through one adder per command.
class ItemAdder {
public:
    explicit ItemAdder(ItemList& list);
    enum class Result { Added, Duplicate, Refused };
    // A file row: "File", "いつもする", address, "-", "-", "準拠", dest.
    Result addFile(const std::string& address, const std::string& dest);
    // A folder row: "Folder", "いつもする", address, subfolder word, masks, "準拠", and the
    // folder row's default destination.
    Result addFolder(const std::string& address, bool subfolders, const std::string& masks);
    const std::vector<RefusedAddress>& refused() const { return refused_; }
    size_t added() const { return added_; }

private:
    Result admit(const std::string& address, const std::string& dest);
    ItemList& list_;
    ItemList::Batch batch_;  // the rows added are told once, when the adding is done
    std::unordered_set<std::string> addresses_;
    std::vector<RefusedAddress> refused_;
    size_t added_ = 0;
};

// One error box naming the refused addresses (the first few and their count); nothing when
// there are none.
void reportRefused(Prompt& prompt, const void* owner, const std::vector<RefusedAddress>& refused);

// Add folder (after the dialog's OK): one folder row. Returns the rows added (0 or 1).
size_t addFolderItem(ListContext& ctx, const std::string& folder, bool subfolders, const std::string& maskText);
// Bulk add (after the dialog's OK): every file the folder scan and file scans find, with
// progress; unreadable folders and files gone meanwhile are skipped with a note. Returns the
// rows added.
size_t bulkAdd(ListContext& ctx, const std::string& folder, bool subfolders, const std::string& maskText);
// Add chosen files, in the order given, with progress; files gone meanwhile are skipped with a note.
size_t addChosenFiles(ListContext& ctx, const std::vector<std::string>& files);
// Drop: an existing folder becomes a folder row (no subfolders, "*.*"), anything else a file row.
size_t dropPaths(ListContext& ctx, const std::vector<std::string>& paths);

// The mirroring settings the deleting commands need.
struct MirrorSettingsView {
    std::string topFolder;          // MirTopFolder
    bool delFilesOnDelItem = false;  // DelFilesOnDelItem
    bool queryDelFiles = true;       // QueryDelFiles
};

// Delete: removes the selected rows (indices into ctx.list, any order; out of range ones are
// left out), asking per row whether its mirrored copy goes too (Yes / No / All as the settings
// say). The copies' refusals are told once per command: the top folder's in one box at the
// first copy to delete, those of single rows together in one box at the end. The rows go in
// one pass at the end. Returns the rows removed.
size_t deleteRows(ListContext& ctx, const MirrorSettingsView& settings, std::vector<size_t> selection);

// Run condition and folder option of the selected rows (folder rows only for the option);
// set all rows' run condition; clear (asks first; true when cleared).
void setRunCondition(ItemList& list, const std::vector<size_t>& selection, RunCondition condition);
void setFolderOption(ItemList& list, const std::vector<size_t>& selection, int option);
void setAllRunConditions(ItemList& list, RunCondition condition);
bool clearList(ListContext& ctx);

// The address check's rewrite of the saved list file in programFolder (filterListFile): every
// record whose address is a full path naming anything on disk is kept byte for byte, in order
// (a link counts by itself, dangling or not: a run copies it as a link); empty and relative
// addresses go. The kept records are written to _rvbak beside the list and renamed over it,
// so a failure at any moment leaves the old list whole. The run lock of the program folder is
// held meanwhile; when a run holds it, the refusal box (kRefusalCaption, kRefusalText) is
// shown and nothing changes. Progress: maximum = records, position k per record, normal
// cursor. No list file: nothing to do (true). Returns false when refused or failed (a box has
// said why); the window reloads the list afterwards either way.
bool checkAddresses(ListContext& ctx, const std::string& programFolder);

// The mirrored copy of a row: top/Latest/dest for a folder row, top/Latest/dest/<name> for a
// file row. An empty destination gives top/Latest/<name> for a file row and top/Latest for a
// folder row (which no deletion accepts).
std::string mirroredCopyPath(const std::string& topFolder, const MirrorItem& item);

// Why no mirrored copy may be deleted: the top folder is empty, not absolute, "/", the home
// folder or a folder holding it, or contains or lies inside the address of a row of the list
// (compared in canonical form). Empty when deletions are allowed.
std::string mirrorDeletionRefusal(const std::string& topFolder, const ItemList& list);

// The checks of mirrorDeletionRefusal made once per command (they look at every row), and
// those of one row's copy.
class MirrorCopyGuard {
public:
    MirrorCopyGuard(const std::string& topFolder, const ItemList& list);
    // Why no copy at all may be deleted; empty when copies may be.
    const std::string& refusal() const { return refusal_; }
    // The path to delete for this row (its mirrored copy, in canonical form up to its own name),
    // or empty with `why` set: the whole refusal above, a destination that names no folder
    // below Latest or leads out of it through a link, a folder row with an empty destination
    // (that would be Latest as a whole), a file row whose name is empty, "." or "..".
    std::string copyToDelete(const MirrorItem& item, std::string& why) const;

private:
    const std::string& canonicalBelowLatest(const std::string& dest) const;
    std::string refusal_;
    std::string latest_;  // canonical
    mutable std::unordered_map<std::string, std::string> resolved_;
};

// Deletes the mirrored copy of one row after the guard's checks; links are removed, never
// followed. A refusal is told in an error box, a failed deletion in a busy note. True when
// something was deleted or nothing was there.
bool deleteMirroredCopy(ListContext& ctx, const std::string& topFolder, const MirrorItem& item);
bool deleteMirroredCopy(ListContext& ctx, const MirrorCopyGuard& guard, const MirrorItem& item);

// Open mirrored copy: the path to open, or empty after the error box when it does not exist.
std::string mirroredCopyToOpen(ListContext& ctx, const std::string& topFolder, const MirrorItem& item);

// Erase mirrored copy of one row (the refusals first, then the question). Delete address:
// asks, deletes the first selected row's source (never the root, the home folder or a folder
// holding it), then deleteRows on the whole selection. Erase whole mirror: the missing top
// folder and the refusals of mirrorDeletionRefusal in an error box, the question naming the
// folder, then what runs made directly in the top folder (isMirrorEntry: Latest, the
// generations, the marker last), each entry as a whole with progress, links removed as links;
// the top folder itself and everything else in it stay. After a whole erase the program
// folder forgets the top folder, so the next run takes it as new. True when all of it went.
bool eraseMirroredCopy(ListContext& ctx, const std::string& topFolder, size_t row);
size_t deleteAddress(ListContext& ctx, const MirrorSettingsView& settings, std::vector<size_t> selection);
bool eraseWholeMirror(ListContext& ctx, const std::string& topFolder, const std::string& programFolder);
// The question of the erase: the description's words with the top folder on a line of its own.
std::string eraseMirrorQuestion(const std::string& topFolder);

}  // namespace renvo
