#pragma once
// TfrmProperty: the item and settings dialog. In item mode it edits one row of the list editor
// (the item editor page) and restores that item's files (the restore page); in settings mode it
// edits the global settings (three pages). The mode is chosen when the dialog is made.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "engine/ItemList.h"

namespace renvo {

class ItemList;
class RenvoApp;
class TRestorePage;
class TSettingsPages;

inline constexpr char kSettingsCaption[] = "Renvo の環境設定";
inline constexpr char kMeaninglessCaption[] = "設定は無意味";
inline constexpr char kMeaninglessText[] = "[完全時のみ] + [テーブル] の指定は，意味がありません\r\n準拠指定にしますか？";
inline constexpr char kNoSuchFileText[] = "指定されたファイルが存在しません\r\n再度指定して下さい";
inline constexpr char kNoSuchFolderText[] = "指定されたフォルダが存在しません\r\n再度指定して下さい";
// Help topics of the pages, in page order.
inline constexpr std::array<unsigned, 5> kPageTopics{27, 102, 23, 24, 25};

enum class PropertyMode { Item, Settings };

// "アドレス <address> の編集"
QString itemCaption(const QString& address);

class TfrmProperty : public QDialog {
    Q_OBJECT
public:
    TfrmProperty(RenvoApp& app, PropertyMode mode, QWidget* parent = nullptr);
    ~TfrmProperty() override;

    // Item mode: the row's texts into the controls, and back after OK.
    void setItem(const ItemTexts& texts);
    ItemTexts itemTexts() const;
    // The destination drop-down list: each destination of the list once (letter case ignored),
    // in order of first use, as first written.
    void fillDestinations(const ItemList& list);
    void setRestoreRequested(bool restore) { restoreRequested_ = restore; }

    void FormShow();
    // OK (tag 0) and Apply (tag 1). True when the dialog may close (OK) or the settings were
    // stored (Apply).
    bool btnOKClick(int tag);
    void rdgFileFolderClick();
    void Button1Click();
    void btnHelpClick();

    QTabWidget* pgcProperty = nullptr;
    QWidget* tbsItemEdit = nullptr;
    TRestorePage* tbsRestore = nullptr;
    std::unique_ptr<TSettingsPages> settingsPages;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnHelp = nullptr;

    // The item editor page.
    QLabel* lblUse = nullptr;
    QComboBox* cmbUse = nullptr;
    QGroupBox* rdgFileFolder = nullptr;
    QRadioButton* rdbFile = nullptr;
    QRadioButton* rdbFolder = nullptr;
    QLabel* lblAddress = nullptr;
    QLineEdit* edtAddress = nullptr;
    QPushButton* Button1 = nullptr;
    QCheckBox* chkSubFolder = nullptr;
    QLabel* lblMask = nullptr;
    QLineEdit* edtFileMask = nullptr;
    QLabel* lblDiscription = nullptr;
    QGroupBox* rdgMirroring = nullptr;
    std::array<QRadioButton*, 4> rdbMirroring{};
    QButtonGroup* mirroringGroup = nullptr;
    QLabel* lblDest = nullptr;
    QComboBox* cbbMirroring = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildItemPage();
    int kindIndex() const { return rdbFile->isChecked() ? 0 : 1; }
    int mirroringIndex() const;
    bool itemOk();
    bool settingsOk(int tag);

    RenvoApp& app_;
    const bool itemMode_;
    bool restoreRequested_ = false;
};

// The list editor's edit command: the dialog in item mode on one row of `list`; on OK the row
// gets the controls' values (true).
bool openItemDialog(RenvoApp& app, ItemList& list, size_t row, bool restore, QWidget* owner);

}  // namespace renvo
