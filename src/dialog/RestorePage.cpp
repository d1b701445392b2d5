#include "dialog/RestorePage.h"

#include "guikit/HelpPopup.h"
#include "guikit/RenvoApp.h"
#include "guikit/WaitCursor.h"
#include "platform/Path.h"

#include <QCollator>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace renvo {

namespace {

constexpr int kCandidateRole = Qt::UserRole;

void setHint(QWidget* w, const QString& hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}


}  // namespace

TRestorePage::TRestorePage(Prompt& prompt, TFileOperation& fileOp, std::function<RestoreInputs()> inputs,
                           QWidget* parent)
    : QWidget(parent), prompt_(prompt), fileOp_(fileOp), inputs_(std::move(inputs))
{
    btnSearchBackupFile = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                          QStringLiteral("バックアップを検索(&S)..."), this);
    setHint(btnSearchBackupFile, QStringLiteral("バックアップを検索する"));
    attachHelp(btnSearchBackupFile, 109);

    btnRestore = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), QStringLiteral("復元(&R)"), this);
    btnRestore->setEnabled(false);
    setHint(btnRestore, QStringLiteral("選択したファイルを復元"));
    attachHelp(btnRestore, 110);

    lblRestore = new QLabel(QStringLiteral("復元候補リスト(&L)："), this);
    lsvRestore = new QTreeWidget(this);
    lsvRestore->setColumnCount(3);
    lsvRestore->setHeaderLabels({QStringLiteral("ファイル名"), QStringLiteral("サブフォルダ"), QStringLiteral("世代")});
    lsvRestore->setColumnWidth(0, 150);
    lsvRestore->setColumnWidth(1, 75);
    lsvRestore->setColumnWidth(2, 75);
    lsvRestore->setRootIsDecorated(false);
    lsvRestore->setItemsExpandable(false);
    lsvRestore->setUniformRowHeights(true);
    lsvRestore->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lsvRestore->setSelectionBehavior(QAbstractItemView::SelectRows);
    lsvRestore->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lsvRestore->setSortingEnabled(false);  // the page sorts by its own rule
    lsvRestore->header()->setSectionsClickable(true);
    lsvRestore->header()->setSortIndicatorShown(false);
    // The selection stays visible when the list loses the focus.
    QPalette pal = lsvRestore->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    lsvRestore->setPalette(pal);
    lsvRestore->setEnabled(false);
    setHint(lsvRestore, QStringLiteral("復元したいファイルを複数選択して [復元] を押す"));
    attachHelp(lsvRestore, 111);
    lblRestore->setBuddy(lsvRestore);

    lblTarget = new QLabel(QStringLiteral("復元先基準(&T)："), this);
    edtRestoreTarget = new QLineEdit(this);
    setHint(edtRestoreTarget, QStringLiteral("復元先の基準を指定する(サブフォルダは自動的に付加)"));
    attachHelp(edtRestoreTarget, 112);
    lblTarget->setBuddy(edtRestoreTarget);
    btnSelectFolder = new QPushButton(QStringLiteral("..."), this);
    btnSelectFolder->setAutoDefault(false);
    btnSelectFolder->setFixedWidth(btnSelectFolder->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 14);
    setHint(btnSelectFolder, QStringLiteral("フォルダの選択"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSearchBackupFile);
    buttons->addWidget(btnRestore);
    buttons->addStretch(1);

    auto* targetRow = new QHBoxLayout;
    targetRow->setSpacing(4);
    targetRow->addWidget(edtRestoreTarget, 1);
    targetRow->addWidget(btnSelectFolder);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addSpacing(4);
    layout->addWidget(lblRestore);
    layout->addWidget(lsvRestore, 1);
    layout->addSpacing(4);
    layout->addWidget(lblTarget);
    layout->addLayout(targetRow);

    setTabOrder(btnSearchBackupFile, btnRestore);
    setTabOrder(btnRestore, lsvRestore);
    setTabOrder(lsvRestore, edtRestoreTarget);
    setTabOrder(edtRestoreTarget, btnSelectFolder);

    connect(btnSearchBackupFile, &QPushButton::clicked, this, &TRestorePage::btnSearchBackupFileClick);
    connect(btnRestore, &QPushButton::clicked, this, &TRestorePage::btnRestoreClick);
    connect(lsvRestore->header(), &QHeaderView::sectionClicked, this, &TRestorePage::lsvRestoreColumnClick);
    connect(btnSelectFolder, &QPushButton::clicked, this, &TRestorePage::btnSelectFolderClick);
}

TRestorePage::~TRestorePage() = default;

const RestoreCandidate* TRestorePage::candidateOf(int row) const
{
    const QTreeWidgetItem* item = lsvRestore->topLevelItem(row);
    if (!item)
        return nullptr;
    const QVariant index = item->data(0, kCandidateRole);
    if (!index.isValid())
        return nullptr;
    const qsizetype i = index.toLongLong();
    return i >= 0 && i < qsizetype(candidates_.size()) ? &candidates_[size_t(i)] : nullptr;
}

void TRestorePage::btnSearchBackupFileClick()
{
    lsvRestore->clear();
    candidates_.clear();
    const RestoreInputs in = inputs_ ? inputs_() : RestoreInputs{};
    {
        WaitCursor busy;
        candidates_ = searchBackup({in.address, in.isFile, in.subfolders, in.dest, in.topFolder, in.limitHistory});
        QList<QTreeWidgetItem*> rows;
        rows.reserve(qsizetype(candidates_.size()));
        for (size_t i = 0; i < candidates_.size(); ++i) {
            const RestoreCandidate& c = candidates_[i];
            auto* item = new QTreeWidgetItem({text(c.fileName), text(c.subfolder), text(c.generation)});
            item->setData(0, kCandidateRole, qlonglong(i));
            rows.append(item);
        }
        lsvRestore->addTopLevelItems(rows);
    }
    if (candidates_.empty()) {
        lsvRestore->addTopLevelItem(new QTreeWidgetItem({QString::fromUtf8(kNothingFoundRow)}));
        lsvRestore->setEnabled(false);
        btnRestore->setEnabled(false);
        return;
    }
    lsvRestore->setEnabled(true);
    btnRestore->setEnabled(true);
    edtRestoreTarget->setText(text(proposedTarget(in.address, in.isFile)));
}

void TRestorePage::lsvRestoreColumnClick(int column)
{
    if (column < 0 || column >= int(sortAscending_.size()))
        return;
    sortColumn_ = column;
    const bool ascending = !sortAscending_[size_t(column)];
    sortAscending_.fill(false);
    sortAscending_[size_t(column)] = ascending;

    QList<QTreeWidgetItem*> items;
    QList<QTreeWidgetItem*> selected = lsvRestore->selectedItems();
    while (lsvRestore->topLevelItemCount() > 0)
        items.append(lsvRestore->takeTopLevelItem(0));
    QCollator collator;  // the user's locale
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::stable_sort(items.begin(), items.end(), [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        const int c = collator.compare(a->text(column), b->text(column));
        return ascending ? c < 0 : c > 0;
    });
    lsvRestore->addTopLevelItems(items);
    for (QTreeWidgetItem* item : selected)
        item->setSelected(true);
}

void TRestorePage::btnSelectFolderClick()
{
    const auto chosen = prompt_.chooseFolder(
        {kFolderChooserCaption, edtRestoreTarget->text().toStdString(), static_cast<QWidget*>(window())});
    if (chosen)
        edtRestoreTarget->setText(text(*chosen));
}

void TRestorePage::btnRestoreClick()
{
    std::vector<RestoreCandidate> rows;
    for (int i = 0; i < lsvRestore->topLevelItemCount(); ++i) {
        if (!lsvRestore->topLevelItem(i)->isSelected())
            continue;
        if (const RestoreCandidate* c = candidateOf(i))
            rows.push_back(*c);
    }
    if (rows.empty())
        return;
    const std::string typed = edtRestoreTarget->text().toStdString();
    const std::string target = trimTrailingDelimiters(typed);
    if (target != typed)
        edtRestoreTarget->setText(text(target));
    const RestoreInputs in = inputs_ ? inputs_() : RestoreInputs{};
    lastOutcome_ = restoreCandidates(prompt_, fileOp_, rows, target, in.dest, in.topFolder,
                                     static_cast<QWidget*>(window()));
}

}  // namespace renvo
