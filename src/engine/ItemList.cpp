#include "engine/ItemList.h"

#include "platform/FileSys.h"

#include <algorithm>
#include <stdexcept>

namespace renvo {

namespace {

std::string word(std::string_view w)
{
    return std::string(w);
}

int indexOf(const auto& words, std::string_view text)
{
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == text)
            return static_cast<int>(i);
    }
    return -1;
}

std::string subfolderText(const MirrorItem& item)
{
    return item.isFile() ? word(kNotApplicableWord) : word(kSubfolderWords[item.includeSubfolders() ? 1 : 0]);
}

std::string masksText(const MirrorItem& item)
{
    return item.isFile() ? word(kNotApplicableWord) : item.masks;
}

void setRunBytes(MirrorItem& item, RunCondition condition)
{
    item.runFlag = condition != RunCondition::Never ? 1 : 0;
    item.everyRun = condition == RunCondition::Always ? 1 : 0;
}

bool sameItem(const MirrorItem& a, const MirrorItem& b)
{
    return a.runFlag == b.runFlag && a.kind == b.kind && a.address == b.address && a.subfolders == b.subfolders &&
           a.masks == b.masks && a.folderOption == b.folderOption && a.dest == b.dest && a.everyRun == b.everyRun;
}

}  // namespace

RunCondition runConditionOf(const MirrorItem& item)
{
    if (!item.runs())
        return RunCondition::Never;
    return item.everyRun != 0 ? RunCondition::Always : RunCondition::CompleteOnly;
}

int folderOptionIndexOf(const MirrorItem& item)
{
    return item.folderOption <= 3 ? item.folderOption : 2;
}

ItemRow rowOf(const MirrorItem& item)
{
    ItemRow row;
    row.isFile = item.isFile();
    row.texts[colKind] = word(row.isFile ? kFileWord : kFolderWord);
    row.texts[colRun] = word(kRunConditionWords[static_cast<size_t>(runConditionOf(item))]);
    row.texts[colAddress] = item.address;
    row.texts[colSubfolders] = subfolderText(item);
    row.texts[colMasks] = masksText(item);
    row.texts[colOption] = word(kFolderOptionWords[static_cast<size_t>(folderOptionIndexOf(item))]);
    row.texts[colDest] = item.dest;
    return row;
}

MirrorItem itemFromTexts(const ItemTexts& texts)
{
    MirrorItem item;
    item.runFlag = texts[colRun] != kRunConditionWords[0] ? 1 : 0;
    item.everyRun = texts[colRun] == kRunConditionWords[1] ? 1 : 0;
    item.kind = texts[colKind] == kFileWord ? 1 : 0;
    item.address = texts[colAddress];
    item.subfolders = texts[colSubfolders] == kSubfolderWords[1] ? 1 : 0;
    item.masks = texts[colMasks];
    item.folderOption = static_cast<uint8_t>(std::max(0, indexOf(kFolderOptionWords, texts[colOption])));
    item.dest = texts[colDest];
    return item;
}

MirrorItem applyTexts(const MirrorItem& stored, const ItemTexts& texts)
{
    const ItemRow shown = rowOf(stored);
    const MirrorItem built = itemFromTexts(texts);
    MirrorItem item = stored;
    if (texts[colKind] != shown.texts[colKind])
        item.kind = built.kind;
    if (texts[colRun] != shown.texts[colRun]) {
        item.runFlag = built.runFlag;
        item.everyRun = built.everyRun;
    }
    item.address = built.address;
    if (texts[colSubfolders] != shown.texts[colSubfolders])
        item.subfolders = built.subfolders;
    if (texts[colMasks] != shown.texts[colMasks])
        item.masks = built.masks;
    if (texts[colOption] != shown.texts[colOption])
        item.folderOption = built.folderOption;
    item.dest = built.dest;
    return item;
}

ItemProblem checkItem(const MirrorItem& item, const PathRules& r)
{
    if (const ItemProblem p = checkAddress(item.address, r); p != ItemProblem::None)
        return p;
    if (!item.isFile() && item.masks.empty())
        return ItemProblem::EmptyMasks;
    return checkDestination(item.dest, r);
}

bool needsUsageHint(const MirrorItem& item)
{
    return item.runs() && item.folderOption == 3 && item.everyRun == 0;
}

void ItemList::add(MirrorItem item)
{
    items_.push_back(std::move(item));
    changed(Change::Rows);
}

void ItemList::insert(size_t row, MirrorItem item)
{
    if (row > items_.size())
        throw std::out_of_range("ItemList::insert");
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(row), std::move(item));
    changed(Change::Rows);
}

void ItemList::replace(size_t row, MirrorItem item)
{
    MirrorItem& slot = items_.at(row);
    if (sameItem(slot, item))
        return;
    slot = std::move(item);
    changed(Change::Texts);
}

void ItemList::setTexts(size_t row, const ItemTexts& texts)
{
    replace(row, applyTexts(items_.at(row), texts));
}

void ItemList::setRunCondition(size_t row, RunCondition condition)
{
    MirrorItem item = items_.at(row);
    if (runConditionOf(item) == condition)
        return;
    setRunBytes(item, condition);
    replace(row, std::move(item));
}

void ItemList::setFolderOption(size_t row, int option)
{
    if (option < 0 || option > 3)
        throw std::out_of_range("ItemList::setFolderOption");
    MirrorItem item = items_.at(row);
    if (folderOptionIndexOf(item) == option)
        return;
    item.folderOption = static_cast<uint8_t>(option);
    replace(row, std::move(item));
}

void ItemList::remove(std::vector<size_t> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return;
    if (rows.back() >= items_.size())
        throw std::out_of_range("ItemList::remove");
    // One pass: every kept row moves down once.
    size_t out = rows.front();
    size_t next = 0;
    for (size_t in = rows.front(); in < items_.size(); ++in) {
        if (next < rows.size() && rows[next] == in) {
            ++next;
            continue;
        }
        items_[out++] = std::move(items_[in]);
    }
    items_.resize(out);
    changed(Change::Rows);
}

void ItemList::clear()
{
    if (items_.empty())
        return;
    items_.clear();
    changed(Change::Rows);
}

void ItemList::move(size_t from, size_t to)
{
    if (from >= items_.size() || to >= items_.size())
        throw std::out_of_range("ItemList::move");
    if (from == to)
        return;
    const auto begin = items_.begin();
    if (from < to)
        std::rotate(begin + static_cast<std::ptrdiff_t>(from), begin + static_cast<std::ptrdiff_t>(from) + 1,
                    begin + static_cast<std::ptrdiff_t>(to) + 1);
    else
        std::rotate(begin + static_cast<std::ptrdiff_t>(to), begin + static_cast<std::ptrdiff_t>(from),
                    begin + static_cast<std::ptrdiff_t>(from) + 1);
    changed(Change::Rows);
}

void ItemList::reorder(const std::vector<size_t>& order)
{
    if (order.size() != items_.size())
        throw std::invalid_argument("ItemList::reorder");
    std::vector<bool> seen(order.size(), false);
    bool identity = true;
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] >= order.size() || seen[order[i]])
            throw std::invalid_argument("ItemList::reorder");
        seen[order[i]] = true;
        identity = identity && order[i] == i;
    }
    if (identity)
        return;
    std::vector<MirrorItem> sorted;
    sorted.reserve(items_.size());
    for (size_t from : order)
        sorted.push_back(std::move(items_[from]));
    items_ = std::move(sorted);
    changed(Change::Rows);
}

void ItemList::changed(Change change)
{
    dirty_ = true;
    if (batches_ > 0) {
        pending_ = pending_ == Change::Rows ? Change::Rows : change;
        return;
    }
    if (listener_)
        listener_(change);
}

ItemList::Batch::Batch(ItemList& list) : list_(list)
{
    ++list_.batches_;
}

ItemList::Batch::~Batch()
{
    if (--list_.batches_ > 0 || !list_.pending_)
        return;
    const Change change = *list_.pending_;
    list_.pending_.reset();
    if (list_.listener_)
        list_.listener_(change);
}

bool ItemList::load(const std::string& path)
{
    // The list window keeps its rows when there is no list file to show.
    if (!pathExists(path))
        return false;
    items_ = readListFile(path);
    changed(Change::Rows);
    dirty_ = false;
    return true;
}

int ItemList::save(const std::string& path)
{
    const int err = writeListFile(path, items_);
    if (err == 0)
        dirty_ = false;
    return err;
}

}  // namespace renvo
