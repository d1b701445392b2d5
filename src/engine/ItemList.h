#pragma once
// The list editor's rows: the mirror items in list order, the words the list window shows for
// them, and the conversions between the two. No toolkit here: a thin table model adapter shows
// this list and the editor's commands change it.
//
// The model keeps every item's stored bytes. A record with an odd flag byte (above 1) or folder
// option (above 3) is shown with the nearest word, and its bytes change only when that field
// is edited, so a load and save that edit nothing leave the list file as it was.

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ItemChecks.h"
#include "engine/ListFile.h"

namespace renvo {

// Columns of the list window, in order.
enum ItemColumn : size_t {
    colKind,
    colRun,
    colAddress,
    colSubfolders,
    colMasks,
    colOption,
    colDest,
    kItemColumnCount
};

using ItemTexts = std::array<std::string, kItemColumnCount>;

// One row as the list window shows it; isFile chooses the row's image.
struct ItemRow {
    ItemTexts texts;
    bool isFile = false;
};

inline constexpr std::string_view kFolderWord = "Folder";
inline constexpr std::string_view kFileWord = "File";
// Subfolder search and masks of a file item.
inline constexpr std::string_view kNotApplicableWord = "-";
// Indexed by RunCondition.
inline constexpr std::array<std::string_view, 3> kRunConditionWords{"しない", "いつもする", "完全時のみ"};
// Indexed by the folder option 0..3.
inline constexpr std::array<std::string_view, 4> kFolderOptionWords{"準拠", "同期", "同期保持", "テーブル"};
// Indexed by the include-subfolders flag.
inline constexpr std::array<std::string_view, 2> kSubfolderWords{"しない", "する"};

// The longest address (and destination) a record holds, in bytes; longer ones are refused at
// input rather than cut by the next save.
inline constexpr size_t kMaxAddressBytes = 255;

enum class RunCondition { Never = 0, Always = 1, CompleteOnly = 2 };

// Any nonzero run flag runs the item; the every-run flag counts only then.
RunCondition runConditionOf(const MirrorItem& item);
// 0..3; an option above 3 acts as keep deleted (2).
int folderOptionIndexOf(const MirrorItem& item);

ItemRow rowOf(const MirrorItem& item);

// The record the list window's save builds from a row's texts: run flag = run text is not
// "しない", every-run flag = "いつもする", kind = "File", include subfolders = "する", masks
// and destination as shown, folder option = position among the four words (0 when the text
// is none of them).
MirrorItem itemFromTexts(const ItemTexts& texts);

// `stored` with the row's texts put in: a field whose text is what `stored` shows keeps its
// stored bytes, every other field is built as itemFromTexts builds it.
MirrorItem applyTexts(const MirrorItem& stored, const ItemTexts& texts);

// The first problem of an item as the windows check it at input: address, then masks (folder
// items only), then destination subfolder. ItemProblem::None when there is none.
ItemProblem checkItem(const MirrorItem& item, const PathRules& r = nativePathRules());

// True for a running item that combines "complete runs only" with the table option: the save
// asks whether it should follow the global option instead.
bool needsUsageHint(const MirrorItem& item);

class ItemList {
public:
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    // Rows out of range throw std::out_of_range.
    const MirrorItem& at(size_t row) const { return items_.at(row); }
    ItemRow rowAt(size_t row) const { return rowOf(items_.at(row)); }
    const std::vector<MirrorItem>& items() const { return items_; }

    void add(MirrorItem item);
    // Before `row`; row == size() appends.
    void insert(size_t row, MirrorItem item);
    void replace(size_t row, MirrorItem item);
    // Puts a row's texts in (applyTexts).
    void setTexts(size_t row, const ItemTexts& texts);
    // A field set to the word it already shows keeps its stored bytes.
    void setRunCondition(size_t row, RunCondition condition);
    // For any row kind: the editor's command leaves file rows out itself, the item dialog not.
    void setFolderOption(size_t row, int option);
    // Removes the given rows (any order; duplicates count once); the others keep their order.
    void remove(std::vector<size_t> rows);
    void clear();
    // Moves one row so that it ends up at index `to`.
    void move(size_t from, size_t to);
    // Puts the rows in a new order: new row i is old row order[i]. `order` must be a
    // permutation of 0..size()-1 (std::invalid_argument otherwise). For sorting by a column.
    void reorder(const std::vector<size_t>& order);

    // Set by every change to the rows or their order; cleared by load and save.
    bool dirty() const { return dirty_; }

    // What a change did: the texts of rows only, or the rows themselves (added, removed,
    // moved, loaded).
    enum class Change { Texts, Rows };
    // The one listener (the view's model) is told of every change, as it is made; while a
    // batch lives, the changes are told once, when the last batch ends (as Rows when any of
    // them was).
    void setListener(std::function<void(Change)> listener) { listener_ = std::move(listener); }
    class Batch {
    public:
        explicit Batch(ItemList& list);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ItemList& list_;
    };

    // Replaces the rows by the list file's records. A missing file changes nothing (false).
    // Throws EFOpenError when the file exists but cannot be read.
    bool load(const std::string& path);
    // Writes the rows as the list file, replacing it atomically (texts over 255 bytes are cut
    // there, the rows keep them). 0 or errno; on failure the old file and the dirty flag stay.
    int save(const std::string& path);

private:
    void changed(Change change);

    std::vector<MirrorItem> items_;
    bool dirty_ = false;
    std::function<void(Change)> listener_;
    int batches_ = 0;
    std::optional<Change> pending_;
};

}  // namespace renvo
