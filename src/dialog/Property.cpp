#include "dialog/Property.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QSet>
#include <QVBoxLayout>

#include "dialog/RestorePage.h"
#include "dialog/SettingsPages.h"
#include "engine/ItemChecks.h"
#include "guikit/HelpPopup.h"
#include "guikit/HelpWindow.h"
#include "guikit/QtPrompt.h"
#include "guikit/RenvoApp.h"
#include "platform/FileSys.h"
#include "platform/Path.h"
#include "settings/SettingsStore.h"

namespace renvo {

namespace {

void hint(QWidget* w, const char* text)
{
    w->setToolTip(u8(text));
    w->setStatusTip(u8(text));
}

constexpr const char* kUseItems[3] = {"しない", "いつもする", "完全時にする"};
constexpr const char* kMirroringItems[4] = {
    "標準設定に準拠(&G) - 準拠",
    "フォルダの同期をとる(&L) - 同期",
    "元で削除されても先で保持(&R) - 同期保持",
    "テーブルを利用(内部では保持)(&T) - テーブル",
};

int wordIndex(const std::string& text, const auto& words)
{
    for (size_t i = 0; i < words.size(); ++i)
        if (text == words[i])
            return int(i);
    return -1;
}

std::string itemProblemText(ItemProblem p)
{
    switch (p) {
    case ItemProblem::EmptyAddress:
        return "アドレスが指定されていません";
    case ItemProblem::AddressNotAbsolute:
        return "アドレスはフルパス（/ で始まるパス）で指定して下さい";
    case ItemProblem::AddressHasNul:
    case ItemProblem::DestHasNul:
        return "使えない文字が含まれています";
    case ItemProblem::DestAbsolute:
        return "ミラーリング先サブフォルダは Latest フォルダからの相対パスで指定して下さい（/ で始めることはできません）";
    case ItemProblem::DestEmptyPart:
        return "ミラーリング先サブフォルダに空の部分（// や末尾の /）があります";
    case ItemProblem::DestDotPart:
    case ItemProblem::DestParentPart:
        return "ミラーリング先サブフォルダに . や .. は使えません（Latest フォルダの外を指すことになります）";
    case ItemProblem::EmptyMasks:
        return "検索マスクが指定されていません";
    default:
        return "アイテムの指定が正しくありません";
    }
}

}  // namespace

QString itemCaption(const QString& address)
{
    return u8("アドレス ") + address + u8(" の編集");
}

TfrmProperty::TfrmProperty(RenvoApp& app, PropertyMode mode, QWidget* parent)
    : QDialog(parent), app_(app), itemMode_(mode == PropertyMode::Item)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    auto* outer = new QHBoxLayout(this);
    pgcProperty = new QTabWidget(this);
    outer->addWidget(pgcProperty, 1);

    tbsItemEdit = buildItemPage();
    tbsRestore = new TRestorePage(app_.prompt(), app_.fileOperation(), [this] {
        RestoreInputs in;
        in.address = edtAddress->text().toStdString();
        in.isFile = kindIndex() == 0;
        in.subfolders = chkSubFolder->isChecked();
        in.dest = cbbMirroring->currentText().toStdString();
        in.topFolder = app_.settings().MirTopFolder;
        in.limitHistory = app_.settings().LimitHistory;
        return in;
    }, pgcProperty);
    settingsPages = std::make_unique<TSettingsPages>(app_.prompt(), app_.idleDetector(), app_.programFolder(), this);
    connect(settingsPages.get(), &TSettingsPages::changed, this, [this] { btnApply->setEnabled(true); });

    auto* buttons = new QVBoxLayout;
    btnOK = new QPushButton(u8("OK"), this);
    btnCancel = new QPushButton(u8("キャンセル"), this);
    btnApply = new QPushButton(u8("更新(&A)"), this);
    btnHelp = new QPushButton(u8("ヘルプ(&H)"), this);
    btnOK->setDefault(true);
    btnApply->setProperty("tag", 1);
    btnApply->setEnabled(false);
    for (QPushButton* b : {btnOK, btnCancel, btnApply, btnHelp})
        buttons->addWidget(b);
    buttons->addStretch(1);
    outer->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, [this] {
        if (btnOKClick(0))
            accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, [this] { btnOKClick(1); });
    connect(btnHelp, &QPushButton::clicked, this, &TfrmProperty::btnHelpClick);

    // Ctrl+Tab moves between the pages wherever the focus is.
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    connect(next, &QShortcut::activated, this, [this] {
        const int n = pgcProperty->count();
        for (int i = 1; i <= n; ++i) {
            const int k = (pgcProperty->currentIndex() + i) % n;
            if (pgcProperty->isTabVisible(k)) {
                pgcProperty->setCurrentIndex(k);
                return;
            }
        }
    });
    auto* prev = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), this);
    connect(prev, &QShortcut::activated, this, [this] {
        const int n = pgcProperty->count();
        for (int i = 1; i <= n; ++i) {
            const int k = (pgcProperty->currentIndex() - i + n) % n;
            if (pgcProperty->isTabVisible(k)) {
                pgcProperty->setCurrentIndex(k);
                return;
            }
        }
    });

    pgcProperty->addTab(tbsItemEdit, u8("アイテムの編集"));
    pgcProperty->addTab(tbsRestore, u8("復元"));
    pgcProperty->addTab(settingsPages->tbsMirroring, u8("ミラーリング"));
    pgcProperty->addTab(settingsPages->tbsIdleOption, u8("アイドル"));
    pgcProperty->addTab(settingsPages->tbsDetail, u8("詳細"));
    resize(560, 430);
}

TfrmProperty::~TfrmProperty() = default;

QWidget* TfrmProperty::buildItemPage()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);

    rdgFileFolder = new QGroupBox(u8("登録区分"), page);
    auto* kindRow = new QHBoxLayout(rdgFileFolder);
    rdbFile = new QRadioButton(u8("ファイル(&F)"), rdgFileFolder);
    rdbFolder = new QRadioButton(u8("フォルダ(&D)"), rdgFileFolder);
    kindRow->addWidget(rdbFile);
    kindRow->addWidget(rdbFolder);
    rdbFile->setChecked(true);
    rdgFileFolder->setEnabled(false);  // the kind is fixed once an item is added
    hint(rdgFileFolder, "登録の区分を表す。追加時以降は変更不可");
    attachHelp(rdgFileFolder, 78);
    grid->addWidget(rdgFileFolder, 0, 0, 1, 3);

    lblAddress = new QLabel(u8("ファイルまたはフォルダのアドレス(&A)："), page);
    edtAddress = new QLineEdit(page);
    edtAddress->setMaxLength(int(kMaxAddressBytes));
    hint(edtAddress, "ファイル・フォルダのアドレスを指定。最後に / は不要");
    attachHelp(edtAddress, 79);
    lblAddress->setBuddy(edtAddress);
    Button1 = new QPushButton(u8("..."), page);
    Button1->setFixedWidth(28);
    Button1->setAutoDefault(false);
    hint(Button1, "ファイル/フォルダの参照");
    grid->addWidget(lblAddress, 1, 0, 1, 3);
    grid->addWidget(edtAddress, 2, 0, 1, 2);
    grid->addWidget(Button1, 2, 2);

    chkSubFolder = new QCheckBox(u8("サブフォルダも検索(&S)"), page);
    hint(chkSubFolder, "フォルダの時にサブフォルダまで検索するか指定");
    attachHelp(chkSubFolder, 80);
    grid->addWidget(chkSubFolder, 3, 0, 1, 3);

    lblMask = new QLabel(u8("検索マスク(&M)："), page);
    edtFileMask = new QLineEdit(u8("*.*"), page);
    edtFileMask->setMaxLength(int(kMaxAddressBytes));
    hint(edtFileMask, "検索マスク。複数指定の時はスペースで区切って入力");
    attachHelp(edtFileMask, 81);
    lblMask->setBuddy(edtFileMask);
    lblDiscription = new QLabel(u8("※複数指定の時は，スペースで区切って入力して下さい"), page);
    grid->addWidget(lblMask, 4, 0);
    grid->addWidget(edtFileMask, 4, 1, 1, 2);
    grid->addWidget(lblDiscription, 5, 0, 1, 3);

    rdgMirroring = new QGroupBox(u8("フォルダのミラーリング設定"), page);
    auto* optionColumn = new QVBoxLayout(rdgMirroring);
    mirroringGroup = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        rdbMirroring[size_t(i)] = new QRadioButton(u8(kMirroringItems[i]), rdgMirroring);
        optionColumn->addWidget(rdbMirroring[size_t(i)]);
        mirroringGroup->addButton(rdbMirroring[size_t(i)], i);
    }
    rdbMirroring[0]->setChecked(true);
    hint(rdgMirroring, "フォルダのミラーリングオプションの指定");
    attachHelp(rdgMirroring, 82);
    grid->addWidget(rdgMirroring, 6, 0, 1, 3);

    lblDest = new QLabel(u8("ミラーリング先サブフォルダ(&B)："), page);
    cbbMirroring = new QComboBox(page);
    cbbMirroring->setEditable(true);
    cbbMirroring->setInsertPolicy(QComboBox::NoInsert);
    cbbMirroring->lineEdit()->setMaxLength(int(kMaxAddressBytes));
    hint(cbbMirroring, "ミラーリング先のフォルダを指定");
    attachHelp(cbbMirroring, 83);
    lblDest->setBuddy(cbbMirroring);
    grid->addWidget(lblDest, 7, 0);
    grid->addWidget(cbbMirroring, 7, 1, 1, 2);

    lblUse = new QLabel(u8("実行オプション(&E)："), page);
    cmbUse = new QComboBox(page);
    for (const char* item : kUseItems)
        cmbUse->addItem(u8(item));
    hint(cmbUse, "いつミラーリングするか設定");
    attachHelp(cmbUse, 108);
    lblUse->setBuddy(cmbUse);
    grid->addWidget(lblUse, 8, 0);
    grid->addWidget(cmbUse, 8, 1, 1, 2);
    grid->setRowStretch(9, 1);

    // Kind, address, "...", subfolders, mask, folder option, destination, run option.
    QWidget::setTabOrder(rdbFile, edtAddress);
    QWidget::setTabOrder(edtAddress, Button1);
    QWidget::setTabOrder(Button1, chkSubFolder);
    QWidget::setTabOrder(chkSubFolder, edtFileMask);
    QWidget::setTabOrder(edtFileMask, rdbMirroring[0]);
    QWidget::setTabOrder(rdbMirroring[0], cbbMirroring);
    QWidget::setTabOrder(cbbMirroring, cmbUse);

    connect(Button1, &QPushButton::clicked, this, &TfrmProperty::Button1Click);
    connect(rdbFile, &QRadioButton::toggled, this, &TfrmProperty::rdgFileFolderClick);
    return page;
}

int TfrmProperty::mirroringIndex() const
{
    return std::max(0, mirroringGroup->checkedId());
}

void TfrmProperty::setItem(const ItemTexts& t)
{
    cmbUse->setCurrentIndex(std::max(0, wordIndex(t[colRun], kRunConditionWords)));
    (t[colKind] == kFileWord ? rdbFile : rdbFolder)->setChecked(true);
    edtAddress->setText(QString::fromStdString(t[colAddress]));
    chkSubFolder->setChecked(t[colSubfolders] == kSubfolderWords[1]);
    edtFileMask->setText(QString::fromStdString(t[colMasks]));
    rdbMirroring[size_t(std::max(0, wordIndex(t[colOption], kFolderOptionWords)))]->setChecked(true);
    cbbMirroring->setEditText(QString::fromStdString(t[colDest]));
    rdgFileFolderClick();
}

ItemTexts TfrmProperty::itemTexts() const
{
    ItemTexts t;
    const bool file = kindIndex() == 0;
    t[colKind] = std::string(file ? kFileWord : kFolderWord);
    t[colRun] = std::string(kRunConditionWords[size_t(std::clamp(cmbUse->currentIndex(), 0, 2))]);
    t[colAddress] = edtAddress->text().toStdString();
    t[colSubfolders] = std::string(kSubfolderWords[chkSubFolder->isChecked() ? 1 : 0]);
    t[colMasks] = edtFileMask->text().toStdString();
    t[colOption] = std::string(kFolderOptionWords[size_t(mirroringIndex())]);
    t[colDest] = cbbMirroring->currentText().toStdString();
    return t;
}

void TfrmProperty::fillDestinations(const ItemList& list)
{
    cbbMirroring->clear();
    QSet<QString> seen;
    for (const MirrorItem& item : list.items()) {
        const QString dest = QString::fromStdString(item.dest);
        if (seen.contains(dest.toLower()))
            continue;
        seen.insert(dest.toLower());
        cbbMirroring->addItem(dest);
    }
}

void TfrmProperty::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfrmProperty::FormShow()
{
    pgcProperty->setTabVisible(0, itemMode_);
    pgcProperty->setTabVisible(1, itemMode_);
    for (int i = 2; i < 5; ++i)
        pgcProperty->setTabVisible(i, !itemMode_);
    if (itemMode_) {
        btnApply->hide();
        setWindowTitle(itemCaption(edtAddress->text()));
        pgcProperty->setCurrentIndex(restoreRequested_ ? 1 : 0);
    } else {
        btnApply->show();
        setWindowTitle(u8(kSettingsCaption));
        pgcProperty->setCurrentIndex(2);
        settingsPages->load(app_.settings());
    }
    btnApply->setEnabled(false);
}

void TfrmProperty::rdgFileFolderClick()
{
    const bool folder = kindIndex() == 1;
    for (QWidget* w : {static_cast<QWidget*>(chkSubFolder), static_cast<QWidget*>(lblMask),
                       static_cast<QWidget*>(edtFileMask), static_cast<QWidget*>(lblDiscription),
                       static_cast<QWidget*>(rdgMirroring)})
        w->setEnabled(folder);
}

void TfrmProperty::Button1Click()
{
    if (kindIndex() == 0) {
        const auto file = app_.prompt().chooseFile(
            {"ファイルの指定", extractFileDir(edtAddress->text().toStdString()), "全てのファイル (*)", this});
        if (file)
            edtAddress->setText(QString::fromStdString(*file));
    } else {
        const auto folder = app_.prompt().chooseFolder({"フォルダの選択", edtAddress->text().toStdString(), this});
        if (folder)
            edtAddress->setText(QString::fromStdString(*folder));
    }
}

void TfrmProperty::btnHelpClick()
{
    const int page = pgcProperty->currentIndex();
    if (page >= 0 && page < int(kPageTopics.size()))
        app_.showHelp(HELP_CONTEXT, kPageTopics[size_t(page)]);
}

bool TfrmProperty::btnOKClick(int tag)
{
    if (refusedDuringRun(app_, this))
        return false;
    if (!itemMode_)
        return settingsOk(tag);
    return itemOk();
}

bool TfrmProperty::itemOk()
{
    Prompt& prompt = app_.prompt();
    if (cmbUse->currentIndex() == 2 && mirroringIndex() == 3) {
        const PromptAnswer a = prompt.ask({kMeaninglessCaption, kMeaninglessText, PromptIcon::Question,
                                           PromptButtons::YesNo, PromptAnswer::Yes, this});
        if (a == PromptAnswer::Yes)
            rdbMirroring[0]->setChecked(true);
    }
    if (edtFileMask->text().isEmpty())
        edtFileMask->setText(u8("*.*"));
    edtAddress->setText(QString::fromStdString(trimTrailingDelimiters(edtAddress->text().toStdString())));

    // What a record cannot hold or a run would refuse is refused here, before the row changes.
    const std::string address = edtAddress->text().toStdString();
    const std::string dest = cbbMirroring->currentText().toStdString();
    if (address.size() > kMaxAddressBytes || dest.size() > kMaxAddressBytes ||
        edtFileMask->text().toStdString().size() > kMaxAddressBytes) {
        prompt.tell(kErrorDialogCaption,
                    "アドレス・マスク・ミラーリング先サブフォルダは " + std::to_string(kMaxAddressBytes) +
                        " バイトまでです\r\n短くして下さい",
                    PromptIcon::Error, this);
        return false;
    }
    const ItemProblem problem = checkItem(itemFromTexts(itemTexts()));
    if (problem != ItemProblem::None) {
        prompt.tell(kErrorDialogCaption, itemProblemText(problem) + "\r\n再度指定して下さい", PromptIcon::Error, this);
        return false;
    }
    const bool exists = kindIndex() == 0 ? fileExists(address) : directoryExists(address);
    if (!exists) {
        prompt.tell(kErrorDialogCaption, kindIndex() == 0 ? kNoSuchFileText : kNoSuchFolderText, PromptIcon::Error,
                    this);
        return false;
    }
    return true;
}

bool TfrmProperty::settingsOk(int tag)
{
    // The pages store into a copy: nothing half done reaches the live record.
    TSettings edited = app_.settings();
    if (!settingsPages->store(edited))
        return false;
    app_.commitSettings(edited);
    btnApply->setEnabled(false);
    return tag == 0;
}

bool openItemDialog(RenvoApp& app, ItemList& list, size_t row, bool restore, QWidget* owner)
{
    if (row >= list.size())
        return false;
    TfrmProperty dialog(app, PropertyMode::Item, owner);
    dialog.setRestoreRequested(restore);
    dialog.fillDestinations(list);
    dialog.setItem(list.rowAt(row).texts);
    dialog.rdgFileFolderClick();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ItemTexts texts = dialog.itemTexts();
    if (texts[colKind] != kFolderWord) {
        // A file item keeps its stored subfolder and mask values.
        const ItemTexts stored = list.rowAt(row).texts;
        texts[colSubfolders] = stored[colSubfolders];
        texts[colMasks] = stored[colMasks];
    }
    list.setTexts(row, texts);
    return true;
}

}  // namespace renvo
