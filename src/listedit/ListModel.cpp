#include "listedit/ListModel.h"

#include "listedit/AddSearchFolder.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>

namespace renvo {

ListModel::ListModel(ItemList& list, QObject* parent)
    : QAbstractTableModel(parent),
      list_(list),
      fileIcon_(listEditIcon(QStringLiteral("file.svg"))),
      folderIcon_(listEditIcon(QStringLiteral("folder.svg")))
{
    // The list tells of its changes as they are made; the view follows.
    list_.setListener([this](ItemList::Change change) {
        if (change == ItemList::Change::Rows) {
            beginResetModel();
            endResetModel();
        } else if (!list_.empty()) {
            emit dataChanged(index(0, 0), index(int(list_.size()) - 1, int(kItemColumnCount) - 1));
        }
    });
}

ListModel::~ListModel()
{
    list_.setListener(nullptr);
}

int ListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(list_.size());
}

int ListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(kItemColumnCount);
}

QVariant ListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= list_.size())
        return {};
    const MirrorItem& item = list_.at(size_t(index.row()));
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const ItemRow row = rowOf(item);
        return QString::fromStdString(row.texts[size_t(index.column())]);
    }
    if (role == Qt::DecorationRole && index.column() == colKind)
        return item.isFile() ? fileIcon_ : folderIcon_;
    return {};
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < int(kItemColumnCount))
        return QString::fromUtf8(kListColumns[section].caption);
    return {};
}

std::vector<size_t> sortOrder(const ItemList& list, size_t column, bool ascending)
{
    QCollator collator;  // the user's locale
    collator.setCaseSensitivity(Qt::CaseSensitive);
    // One key per row, so a sort of many rows does not convert every text per comparison.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
        keys.push_back(collator.sortKey(QString::fromStdString(rowOf(list.at(i)).texts.at(column))));
    std::vector<size_t> order(list.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = keys[a].compare(keys[b]);
        return ascending ? c < 0 : c > 0;
    });
    return order;
}

}  // namespace renvo
