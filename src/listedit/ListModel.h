#pragma once
// The list view's model: the editor's ItemList shown in the seven columns, with the file and
// folder images. It listens to the list: a change of rows resets it (the view is filled in one
// pass, not row by row), a change of texts repaints the rows and keeps the selection.

#include <QAbstractTableModel>
#include <QIcon>

#include "engine/ItemList.h"

namespace renvo {

// Captions and design widths of the seven columns.
struct ListColumn {
    const char* caption;
    int width;
};
inline constexpr ListColumn kListColumns[kItemColumnCount] = {
    {"種別", 110}, {"実行", 50}, {"対象アドレス", 107}, {"サブフォルダ検索", 107},
    {"マスク", 107}, {"実行条件", 107}, {"ミラーリング先", 107},
};

class ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListModel(ItemList& list, QObject* parent = nullptr);
    ~ListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    ItemList& list() { return list_; }

private:
    ItemList& list_;
    QIcon fileIcon_;
    QIcon folderIcon_;
};

// The order of the rows sorted by one column's text: the locale's case-sensitive comparison,
// ascending or descending. new row i = old row order[i]; equal texts keep their order.
std::vector<size_t> sortOrder(const ItemList& list, size_t column, bool ascending);

}  // namespace renvo
