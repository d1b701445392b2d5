#pragma once
// TfrmConfig: the list editor. A display of the list file: filled from it when shown, written
// back by the save command (which also runs whenever the window closes) once the rows have
// changed. The work of the commands lives in ListCommands; this class holds the controls and
// wires them.

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "engine/ItemList.h"
#include "listedit/FileDrop.h"
#include "listedit/ListCommands.h"

namespace renvo {

class ListModel;
class RenvoApp;
class TCoolBar;

inline constexpr char kConfigDesignCaption[] = "実行時に変更";
// The caption of the shown editor.
inline constexpr char kListEditorCaption[] = "Renvo のファイルリスト設定";
inline constexpr char kHelpPromptText[] = "[F1] を押すとヘルプを表示します";
inline constexpr char kUsageHintCaption[] = "使用上のヒント";
inline constexpr char kAddressCheckQuestion[] =
    "既に削除/移動されているファイルを示すアイテムが自動的に削除されます\r\n実行を続けますか？";
// The settings key that holds the window layout.
inline constexpr char kLayoutKey[] = "\\Software\\Tovan\\Renvo";
// Help topics of the tool bars and of the list view's pop-up help.
inline constexpr unsigned kToolBarTopic = 18;
inline constexpr unsigned kListPopupTopic = 19;

// "登録件数 : N 件"
QString countText(size_t rows);
// Panel 0 for the selected row: the last part of its address ("\" before it for a folder row
// as the old display did), then " のアイテムを選択".
QString selectionText(const MirrorItem& item);
// The usage-hint question for one row.
std::string usageHintText(const std::string& address);

// Where the window's layout goes: the settings key of the hive, value by value.
struct WindowLayout {
    int top = 0, height = 0, width = 0, left = 0;
    std::array<int, kItemColumnCount> columns{};
    std::array<bool, 2> bandBreak{};
    std::array<int, 2> bandWidth{};
};

class TfrmConfig : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmConfig(RenvoApp& app, QWidget* parent = nullptr);
    ~TfrmConfig() override;

    // Window-level operations.
    void FormShow();
    // Operation 1: the view from the list file. False after an error box.
    bool loadList();
    // Save the list (actSave): refused during a run; asks the usage-hint question; writes the
    // list file when the rows were changed since they were loaded or saved, and the layout.
    // False when refused or the list could not be written.
    bool actSaveExecute();
    void SaveWindowLayout();
    void LoadWindowLayout();
    void mnuQuitNowClick();

    // Item commands.
    void actOpenFolderExecute();
    void actOpenFilesExecute();
    void actOpenFileExecute();
    void fldAddListFileDrop(TFileDrop& sender, int num, const QStringList& files, int x, int y);
    void actDeleteExecute();
    void actEditExecute(bool restore);
    void actUnenabledExecute(int tag);
    void actItemChange(int tag);
    void mnuCheckAllClick(int tag);
    void mnuListClearClick();
    void actCheckExecute();
    // Mirrored-copy commands.
    void mnuOpenAddressClick();
    void mnuOpenMiredClick();
    void mnuDelAddressClick();
    void mnuEraseMiredFilesClick();
    void mnuEraseMiredClick();
    void actExecuteExecute();
    void actExecuteAllExecute();
    // Sorting and selection.
    void lsvFileListColumnClick(int column);
    void lsvFileListSelectItem();

    // Selected rows in list order.
    std::vector<size_t> selection() const;
    void selectRows(const std::vector<size_t>& rows);
    ItemList& rows() { return list_; }
    ListModel& model() { return *model_; }
    // Opens a file or folder in the desktop's program for it; a test replaces it.
    std::function<void(const std::string& path)> openPath;
    bool restoreRequested() const { return restoreRequested_; }
    int sortColumn() const { return sortColumn_; }
    const std::array<bool, kItemColumnCount>& sortFlags() const { return sortFlags_; }
    WindowLayout currentLayout() const;
    // The two bands of the cool bar: their rows and widths as the layout stores them.
    TCoolBar& coolBar() { return *clbConfig; }

    // Controls and actions under their names.
    TCoolBar* clbConfig = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QTreeView* lsvFileList = nullptr;
    QProgressBar* prbProgress = nullptr;
    QStatusBar* stbConfig = nullptr;
    QLabel* panel0 = nullptr;
    QLabel* panel1 = nullptr;
    QMenu* ppmRight = nullptr;
    TFileDrop* fldAddList = nullptr;

    QAction* actSave = nullptr;
    QAction* actEdit = nullptr;
    QAction* actDelete = nullptr;
    QAction* actOpenFolder = nullptr;
    QAction* actOpenFiles = nullptr;
    QAction* actOpenFile = nullptr;
    QAction* actUnenabled = nullptr;
    QAction* actNormal = nullptr;
    QAction* actCompleted = nullptr;
    QAction* actCheck = nullptr;
    QAction* actExecute = nullptr;
    QAction* actExecuteAll = nullptr;
    QAction* actConfig = nullptr;
    QAction* actHelp = nullptr;
    QAction* actAuto = nullptr;
    QAction* actBase = nullptr;
    QAction* actSync = nullptr;
    QAction* actRemainSync = nullptr;
    QAction* actTable = nullptr;

    QMenu* mnuFile = nullptr;
    QMenu* mnuList = nullptr;
    QMenu* mnuAdd = nullptr;
    QMenu* mnuRestore = nullptr;
    QMenu* mnuMirroring = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuEdit = nullptr;    // actEdit as the list menu shows it
    QAction* mnuDelete = nullptr;  // actDelete as the list menu shows it
    QAction* mnuListClear = nullptr;
    QAction* Close1 = nullptr;
    QAction* mnuQuitNow = nullptr;
    QAction* mnuOpenAddress = nullptr;
    QAction* mnuOpenMired = nullptr;
    QAction* mnuDelAddress = nullptr;
    QAction* mnuEraseMiredFiles = nullptr;
    std::array<QAction*, 3> mnuCheckAll{};
    QAction* mnuCheckInMenu = nullptr;  // actCheck as the list menu shows it
    QAction* R2 = nullptr;              // "復元(&R)..."
    QAction* mnuAuto = nullptr;
    QAction* mnuEraseMired = nullptr;
    QAction* mnuSearchHelp = nullptr;
    QAction* mnuHelpOnHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* ppmOpenAddress = nullptr;
    QAction* ppmOpenMired = nullptr;
    QAction* ppmDelAddress = nullptr;
    QAction* ppmEraseMiredFiles = nullptr;
    QAction* ppmHelp = nullptr;

signals:
    // The window has closed (after its save).
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Busy;
    void buildActions();
    void buildMenus();
    void buildControls();
    ListContext context();
    MirrorSettingsView mirrorSettings() const;
    void showCountText();
    void showHelpPrompt();
    void markRunCondition(size_t row);
    void markFolderOption(size_t row);
    void restoreMarks();
    void M1Click();
    void mnuListClick();
    void R1Click();
    void startRun(bool complete);
    std::string listPath() const;

    RenvoApp& app_;
    ItemList list_;
    std::unique_ptr<ListModel> model_;
    std::unique_ptr<Busy> busy_;
    bool shown_ = false;
    bool restoreRequested_ = false;
    int runMark_ = 0;     // the run-condition action that is down
    int optionMark_ = 0;  // the folder-option action that is down
    int sortColumn_ = 0;
    std::array<bool, kItemColumnCount> sortFlags_{};
    std::vector<QPointer<QWidget>> minimizedWithMe_;  // the windows that went down with this one
};

}  // namespace renvo
