#include "listedit/Config.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QStatusTipEvent>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "engine/EFOpenError.h"
#include "guikit/AboutBox.h"
#include "guikit/HelpWindow.h"
#include "guikit/QtPrompt.h"
#include "guikit/RenvoApp.h"
#include "listedit/AddSearchFolder.h"
#include "listedit/CoolBar.h"
#include "listedit/ListModel.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/Path.h"
#include "settings/Settings.h"

namespace renvo {

namespace {

// The busy texts repaint at most this often: a bulk add of many files is not slowed by it.
constexpr int kRepaintMs = 40;

}  // namespace

QString countText(size_t rows)
{
    return u8("登録件数 : ") + QString::number(qulonglong(rows)) + u8(" 件");
}

QString selectionText(const MirrorItem& item)
{
    std::string last = extractFileName(item.address);
    if (!item.isFile())
        last.insert(last.begin(), pathDelim());
    return QString::fromStdString(last) + u8(" のアイテムを選択");
}

std::string usageHintText(const std::string& address)
{
    return "アドレス " + address + " のファイルは，" +
           "[完全]+[テーブル] の組み合わせが指定されています。この使い方は，" + "利点がありません" + "\r\n" +
           "準拠指定にしますか？";
}

// The busy state of the window: hourglass, panel 0, the progress bar.
class TfrmConfig::Busy : public BusyState {
public:
    explicit Busy(TfrmConfig& w) : w_(w) {}
    ~Busy() override { restoreCursor(); }

    void begin(const std::string& text, bool hourglass) override
    {
        if (hourglass && !cursor_) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            cursor_ = true;
        }
        if (!text.empty())
            w_.panel0->setText(QString::fromStdString(text));
        repaint(true);
    }
    void showProgress(int maximum) override
    {
        w_.prbProgress->setRange(0, std::max(0, maximum));
        w_.prbProgress->setValue(0);
        w_.prbProgress->show();
        repaint(true);
    }
    void setPosition(int position) override
    {
        w_.prbProgress->setValue(position);
        repaint(false);
    }
    void note(const std::string& text) override
    {
        w_.panel0->setText(QString::fromStdString(text));
        repaint(false);
    }
    void end() override
    {
        restoreCursor();
        w_.prbProgress->hide();
        w_.showHelpPrompt();
    }

private:
    void restoreCursor()
    {
        if (cursor_) {
            QApplication::restoreOverrideCursor();
            cursor_ = false;
        }
    }
    // Paints the status bar and the progress bar now, without taking any input.
    void repaint(bool force)
    {
        if (!force && clock_.isValid() && clock_.elapsed() < kRepaintMs)
            return;
        clock_.start();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (w_.isVisible()) {
            w_.stbConfig->repaint();
            if (w_.prbProgress->isVisible())
                w_.prbProgress->repaint();
        }
    }

    TfrmConfig& w_;
    bool cursor_ = false;
    QElapsedTimer clock_;
};

TfrmConfig::TfrmConfig(RenvoApp& app, QWidget* parent)
    : QMainWindow(parent), app_(app), model_(std::make_unique<ListModel>(list_)), busy_(std::make_unique<Busy>(*this))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(u8(kConfigDesignCaption));
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    resize(716, 470);
    buildActions();
    buildMenus();
    buildControls();
    // The rows' count follows the list's changes as the view does.
    connect(model_.get(), &QAbstractItemModel::modelReset, this, &TfrmConfig::showCountText);
    openPath = [](const std::string& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    showHelpPrompt();
    showCountText();
}

TfrmConfig::~TfrmConfig() = default;

void TfrmConfig::buildActions()
{
    auto make = [this](const char* caption, const char* hint, QKeySequence key, int tag, const char* icon) {
        auto* a = new QAction(u8(caption), this);
        if (hint != nullptr) {
            a->setStatusTip(u8(hint));
            a->setToolTip(u8(hint));
        }
        if (!key.isEmpty())
            a->setShortcut(key);
        if (tag >= 0)
            a->setData(tag);
        if (icon != nullptr)
            a->setIcon(listEditIcon(QStringLiteral("%1.svg").arg(QLatin1String(icon))));
        addAction(a);  // the shortcut works wherever the focus is in the window
        return a;
    };
    actSave = make("リスト保存(&S)", "リストを保存(ほとんど自動でするので通常不要)", QKeySequence(Qt::CTRL | Qt::Key_S), -1, "save");
    actEdit = make("プロパティ(&R)", "アイテムを編集", QKeySequence(Qt::CTRL | Qt::Key_R), -1, "edit");
    actDelete = make("削除(&D)", "選択アイテムを削除", QKeySequence(Qt::Key_Delete), -1, "delete");
    actOpenFolder = make("フォルダを追加(&O)...", "フォルダを追加登録する", QKeySequence(Qt::CTRL | Qt::Key_O), -1, "openfolder");
    actOpenFiles = make("ファイルを一括追加(&F)...", "ファイルを一括して追加します", QKeySequence(Qt::CTRL | Qt::Key_F), -1, "openfiles");
    actOpenFile = make("ファイルを選択して追加(&S)...", "ファイルを選択して追加します", QKeySequence(Qt::CTRL | Qt::Key_T), -1, "openfile");
    actUnenabled = make("ミラーリングしない(&U)", "ミラーリングしない", QKeySequence(Qt::CTRL | Qt::Key_F5), 0, "unenabled");
    actNormal = make("いつもミラーリング(&N)", "いつもミラーリングする", QKeySequence(Qt::CTRL | Qt::Key_F6), 1, "normal");
    actCompleted = make("完全時のみミラーリング(&C)", "完全時のみミラーリングする", QKeySequence(Qt::CTRL | Qt::Key_F7), 2, "completed");
    actCheck = make("アドレスチェック(&C)...", "アドレスチェックをします", QKeySequence(Qt::Key_F2), -1, "check");
    actExecute = make("標準ミラーリング実行(&E)...", "標準ミラーリングを実行します", QKeySequence(Qt::Key_F3), -1, "execute");
    actExecuteAll = make("完全ミラーリング実行(&C)", "完全ミラーリングを実行します", QKeySequence(Qt::Key_F4), -1, "executeall");
    actConfig = make("環境設定(&S)...", "環境設定を開きます", QKeySequence(Qt::Key_F10), -1, "config");
    actHelp = make("目次(&C)", "ヘルプの目次を開きます", QKeySequence(Qt::Key_F1), -1, "help");
    actAuto = make("自動実行(&A)", "チェックが入っているとき，自動実行します", {}, -1, nullptr);
    actBase = make("準拠(&B)", "選択アイテムを準拠指定にします", QKeySequence(Qt::Key_F5), 0, "base");
    actSync = make("同期(&S)", "選択アイテムを同期指定にします", QKeySequence(Qt::Key_F6), 1, "sync");
    actRemainSync = make("同期保持(&R)", "選択アイテムを同期保持指定にします", QKeySequence(Qt::Key_F7), 2, "remainsync");
    actTable = make("テーブル(&T)", "選択アイテムをテーブル指定にします", QKeySequence(Qt::Key_F8), 3, "table");
    actAuto->setCheckable(true);
    mnuAuto = actAuto;

    // One of each group is down at a time; the marks follow the selected row.
    auto* runGroup = new QActionGroup(this);
    for (QAction* a : {actUnenabled, actNormal, actCompleted}) {
        a->setCheckable(true);
        runGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { actUnenabledExecute(a->data().toInt()); });
    }
    actUnenabled->setChecked(true);
    auto* optionGroup = new QActionGroup(this);
    for (QAction* a : {actBase, actSync, actRemainSync, actTable}) {
        a->setCheckable(true);
        optionGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { actItemChange(a->data().toInt()); });
    }
    actBase->setChecked(true);

    connect(actSave, &QAction::triggered, this, [this] { actSaveExecute(); });
    connect(actEdit, &QAction::triggered, this, [this] { actEditExecute(false); });
    connect(actDelete, &QAction::triggered, this, &TfrmConfig::actDeleteExecute);
    connect(actOpenFolder, &QAction::triggered, this, &TfrmConfig::actOpenFolderExecute);
    connect(actOpenFiles, &QAction::triggered, this, &TfrmConfig::actOpenFilesExecute);
    connect(actOpenFile, &QAction::triggered, this, &TfrmConfig::actOpenFileExecute);
    connect(actCheck, &QAction::triggered, this, &TfrmConfig::actCheckExecute);
    connect(actExecute, &QAction::triggered, this, &TfrmConfig::actExecuteExecute);
    connect(actExecuteAll, &QAction::triggered, this, &TfrmConfig::actExecuteAllExecute);
    connect(actConfig, &QAction::triggered, this, [this] {
        app_.openSettingsDialog(this);
    });
    connect(actHelp, &QAction::triggered, this, [this] { app_.showHelp(HELP_FINDER, 0); });
    connect(actAuto, &QAction::triggered, this, [this](bool on) {
        TSettings changed = app_.settings();
        changed.Mirroring = on;
        app_.commitSettings(changed);
    });
}

void TfrmConfig::buildMenus()
{
    QMenuBar* bar = menuBar();
    auto entry = [this](QMenu* menu, const char* caption, const char* hint, auto handler) {
        QAction* a = menu->addAction(u8(caption));
        if (hint != nullptr)
            a->setStatusTip(u8(hint));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    auto menu = [bar](const char* caption, const char* hint) {
        QMenu* m = bar->addMenu(u8(caption));
        if (hint != nullptr)
            m->menuAction()->setStatusTip(u8(hint));
        return m;
    };

    mnuFile = menu("ファイル(&F)", "ファイル関連");
    mnuListClear = entry(mnuFile, "リストクリア(&L)", "リストをクリアします", &TfrmConfig::mnuListClearClick);
    mnuListClear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuFile->addAction(actSave);
    mnuFile->addSeparator();
    Close1 = entry(mnuFile, "閉じる(&C)", "このウインドウだけを閉じます", [this] { close(); });
    mnuQuitNow = entry(mnuFile, "Renvo の終了(&Q)", "Renvo 自身を終了します", &TfrmConfig::mnuQuitNowClick);

    mnuList = menu("リスト(&L)", "リストアイテム関連");
    // The list menu greys its entries by the selection. The tool bar, the right-click menu and
    // the keys share actEdit and actDelete and must stay usable, so the menu has entries of its
    // own that trigger them; the key is shown, not bound twice.
    auto twin = [this](QAction* shared) {
        QAction* a = mnuList->addAction(shared->icon(), shared->text() + u'\t' +
                                                            shared->shortcut().toString(QKeySequence::NativeText));
        a->setStatusTip(shared->statusTip());
        connect(a, &QAction::triggered, shared, &QAction::trigger);
        return a;
    };
    mnuEdit = twin(actEdit);
    mnuDelete = twin(actDelete);
    mnuList->addSeparator();
    mnuOpenAddress = entry(mnuList, "対象アドレスを開く(&O)...", "選択アイテムのオリジナルを開きます", &TfrmConfig::mnuOpenAddressClick);
    mnuOpenMired = entry(mnuList, "ミラーリング先を開く(&M)", "選択ファイルのミラーリング先(最新のみ)を開きます", &TfrmConfig::mnuOpenMiredClick);
    mnuList->addSeparator();
    mnuDelAddress = entry(mnuList, "対象アドレス先を削除(&C)", "選択アイテムのオリジナルを消去します", &TfrmConfig::mnuDelAddressClick);
    mnuEraseMiredFiles = entry(mnuList, "ミラーリング先を削除(&L)", "ミラーリング先(最新)を削除します", &TfrmConfig::mnuEraseMiredFilesClick);
    mnuList->addSeparator();
    const char* allCaptions[3] = {"全て [しない] (&N)", "全て [いつもする] (&F)", "全て [完全時のみ] (&P)"};
    for (int tag = 0; tag < 3; ++tag) {
        mnuCheckAll[size_t(tag)] = entry(mnuList, allCaptions[tag], nullptr, [this, tag] { mnuCheckAllClick(tag); });
        mnuCheckAll[size_t(tag)]->setData(tag);
    }
    mnuList->addSeparator();
    mnuCheckInMenu = entry(mnuList, "アドレスチェック(&A)...", "アドレスチェックをします", &TfrmConfig::actCheckExecute);
    connect(mnuList, &QMenu::aboutToShow, this, &TfrmConfig::mnuListClick);

    mnuAdd = menu("追加(&A)", "アイテムの追加");
    mnuAdd->addAction(actOpenFolder);
    mnuAdd->addSeparator();
    mnuAdd->addAction(actOpenFiles);
    mnuAdd->addAction(actOpenFile);

    mnuRestore = menu("復元(&R)", nullptr);
    R2 = entry(mnuRestore, "復元(&R)...", nullptr, [this] { actEditExecute(true); });
    R2->setData(12);
    connect(mnuRestore, &QMenu::aboutToShow, this, &TfrmConfig::R1Click);

    mnuMirroring = menu("ミラーリング(&M)", "ミラーリング関連");
    mnuMirroring->addAction(actAuto);
    mnuMirroring->addSeparator();
    mnuMirroring->addAction(actExecute);
    mnuMirroring->addAction(actExecuteAll);
    mnuMirroring->addSeparator();
    mnuEraseMired = entry(mnuMirroring, "ミラーリング先全削除(&L)...", "ミラーリング先を履歴を含めて完全消去します", &TfrmConfig::mnuEraseMiredClick);
    mnuMirroring->addSeparator();
    mnuMirroring->addAction(actConfig);
    connect(mnuMirroring, &QMenu::aboutToShow, this, &TfrmConfig::M1Click);

    mnuHelp = menu("ヘルプ(&H)", "ヘルプ関連");
    mnuHelp->addAction(actHelp);
    mnuSearchHelp = entry(mnuHelp, "トピックの検索(&S)...", nullptr, [this] { app_.showHelp(HELP_KEY, 0); });
    mnuHelpOnHelp = entry(mnuHelp, "ヘルプの使い方(&H)", nullptr, [this] { app_.showHelp(HELP_HELPONHELP, 0); });
    mnuHelp->addSeparator();
    mnuAbout = entry(mnuHelp, "バージョン情報(&A)...", "バージョン情報を見ます", [this] {
        AboutBox box(QString::fromStdString(app_.programFolder()), this);
        box.exec();
    });

    ppmRight = new QMenu(this);
    ppmRight->addAction(actEdit);
    ppmRight->addAction(actDelete);
    ppmRight->addSeparator();
    ppmRight->addActions({actUnenabled, actNormal, actCompleted});
    ppmRight->addSeparator();
    ppmRight->addActions({actBase, actSync, actRemainSync, actTable});
    ppmRight->addSeparator();
    QMenu* access = ppmRight->addMenu(u8("アクセス(&A)"));
    ppmOpenAddress = entry(access, "対象アドレスを開く(&O)...", nullptr, &TfrmConfig::mnuOpenAddressClick);
    ppmOpenMired = entry(access, "ミラーリング先を開く(&M)", nullptr, &TfrmConfig::mnuOpenMiredClick);
    access->addSeparator();
    ppmDelAddress = entry(access, "対象アドレス先を削除(&C)", nullptr, &TfrmConfig::mnuDelAddressClick);
    ppmEraseMiredFiles = entry(access, "ミラーリング先を削除(&L)", nullptr, &TfrmConfig::mnuEraseMiredFilesClick);
    ppmRight->addSeparator();
    ppmHelp = entry(ppmRight, "ヘルプ(&H)", nullptr, [this] { app_.showHelp(HELP_CONTEXT, kListPopupTopic); });
}

void TfrmConfig::buildControls()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    ToolBar2 = new QToolBar(u8("標準"));
    ToolBar2->addAction(actSave);
    ToolBar2->addSeparator();
    ToolBar2->addActions({actEdit, actDelete});
    ToolBar2->addSeparator();
    ToolBar2->addActions({actOpenFolder, actOpenFiles, actOpenFile});
    ToolBar2->addSeparator();
    ToolBar2->addAction(actCheck);
    ToolBar2->addSeparator();
    ToolBar2->addActions({actExecute, actExecuteAll});
    ToolBar2->addSeparator();
    ToolBar2->addAction(actConfig);
    ToolBar2->addSeparator();
    ToolBar2->addAction(actHelp);
    ToolBar1 = new QToolBar(u8("アイテム編集"));
    ToolBar1->addActions({actUnenabled, actNormal, actCompleted});
    ToolBar1->addSeparator();
    ToolBar1->addActions({actBase, actSync, actRemainSync, actTable});
    for (QToolBar* tb : {ToolBar2, ToolBar1}) {
        tb->setIconSize(QSize(16, 16));
        tb->setWhatsThis(HelpWindow::contextPopupText(kToolBarTopic));
        tb->setProperty("helpContext", kToolBarTopic);
    }
    clbConfig = new TCoolBar(central);
    clbConfig->addBand(ToolBar2, u8("標準"), true);
    clbConfig->addBand(ToolBar1, u8("アイテム編集"), false);
    column->addWidget(clbConfig);

    lsvFileList = new QTreeView(central);
    lsvFileList->setModel(model_.get());
    lsvFileList->setRootIsDecorated(false);
    lsvFileList->setUniformRowHeights(true);
    lsvFileList->setItemsExpandable(false);
    lsvFileList->setAllColumnsShowFocus(true);
    lsvFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lsvFileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lsvFileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lsvFileList->setContextMenuPolicy(Qt::CustomContextMenu);
    lsvFileList->setMouseTracking(true);
    lsvFileList->header()->setSectionsClickable(true);
    lsvFileList->header()->setSortIndicatorShown(false);
    lsvFileList->header()->setStretchLastSection(false);
    for (size_t c = 0; c < kItemColumnCount; ++c)
        lsvFileList->setColumnWidth(int(c), kListColumns[c].width);
    // The design width of the run column was made for another font: here "いつもする" would be
    // cut. It starts wide enough for its widest word (a saved layout still decides).
    int runWidth = kListColumns[colRun].width;
    for (std::string_view word : kRunConditionWords) {
        const QString text = QString::fromUtf8(word.data(), qsizetype(word.size()));
        runWidth = std::max(runWidth, lsvFileList->fontMetrics().horizontalAdvance(text) + 16);
    }
    lsvFileList->setColumnWidth(int(colRun), runWidth);
    // The selection stays visible when the view loses the focus.
    QPalette pal = lsvFileList->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    lsvFileList->setPalette(pal);
    lsvFileList->installEventFilter(this);
    lsvFileList->viewport()->installEventFilter(this);
    column->addWidget(lsvFileList, 1);
    connect(lsvFileList->header(), &QHeaderView::sectionClicked, this, &TfrmConfig::lsvFileListColumnClick);
    connect(lsvFileList, &QAbstractItemView::doubleClicked, this, [this] { actEditExecute(false); });
    connect(lsvFileList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ppmRight->popup(lsvFileList->viewport()->mapToGlobal(pos)); });
    connect(lsvFileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmConfig::lsvFileListSelectItem);

    prbProgress = new QProgressBar(central);
    prbProgress->setRange(0, 100);
    prbProgress->setFixedHeight(12);
    prbProgress->setTextVisible(false);
    prbProgress->hide();
    column->addWidget(prbProgress);
    setCentralWidget(central);

    stbConfig = statusBar();
    panel0 = new QLabel(stbConfig);
    panel0->setMinimumWidth(250);
    panel1 = new QLabel(stbConfig);
    panel1->setMinimumWidth(50);
    stbConfig->addWidget(panel0, 1);
    stbConfig->addPermanentWidget(panel1);

    fldAddList = new TFileDrop(this);
    fldAddList->setControl(lsvFileList->viewport());
    fldAddList->setOnFileDrop([this](TFileDrop& sender, int num, const QStringList& files, int x, int y) {
        fldAddListFileDrop(sender, num, files, x, y);
    });
    fldAddList->onError = [this](const std::string& text) {
        app_.prompt().tell(kErrorDialogCaption, text, PromptIcon::Error, this);
    };
}

bool TfrmConfig::event(QEvent* event)
{
    // Hints go to panel 0, which a hint that ends leaves empty.
    if (event->type() == QEvent::StatusTip) {
        panel0->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TfrmConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lsvFileList->viewport() && event->type() == QEvent::MouseMove && panel0->text().isEmpty())
        showHelpPrompt();
    if (watched == lsvFileList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            actEditExecute(false);
            return true;
        }
        if (key->modifiers() == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Home:
            case Qt::Key_End:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown: {
                // The view selects the row it moves to, but not a current row it stays on
                // (Home on the first row): that one is selected first, which also anchors a
                // following Shift key there.
                const QModelIndex current = lsvFileList->currentIndex();
                if (current.isValid() && !lsvFileList->selectionModel()->isRowSelected(current.row(), QModelIndex()))
                    lsvFileList->setCurrentIndex(current);
                break;
            }
            default:
                break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the window ----

std::string TfrmConfig::listPath() const
{
    return includeTrailingDelimiter(app_.programFolder()) + kListFileName;
}

ListContext TfrmConfig::context()
{
    return ListContext{list_, app_.prompt(), this, *busy_, app_.fileOperation()};
}

MirrorSettingsView TfrmConfig::mirrorSettings() const
{
    const TSettings& s = app_.settings();
    return {s.MirTopFolder, s.DelFilesOnDelItem, s.QueryDelFiles};
}

void TfrmConfig::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmConfig::FormShow()
{
    setWindowTitle(u8(kListEditorCaption));
    loadList();
    LoadWindowLayout();
    // The keys act on a selected row at once.
    if (!list_.empty())
        selectRows({0});
}

void TfrmConfig::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const bool wasMinimized = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
    if (isMinimized() && !wasMinimized) {
        // Minimising the editor minimises the program: its other open windows go with it.
        minimizedWithMe_.clear();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            const Qt::WindowType type = w->windowType();
            if (w == this || !w->isVisible() || w->isMinimized() ||
                (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool))
                continue;
            minimizedWithMe_.emplace_back(w);
            w->setWindowState(w->windowState() | Qt::WindowMinimized);
        }
    } else if (!isMinimized() && wasMinimized) {
        // And they come back with it.
        for (const QPointer<QWidget>& w : minimizedWithMe_)
            if (w && w->isVisible())
                w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        minimizedWithMe_.clear();
    }
}

void TfrmConfig::closeEvent(QCloseEvent* event)
{
    if (refusedDuringRun(app_, this)) {
        event->ignore();
        return;
    }
    // A list that could not be written keeps the window open, so nothing typed is lost.
    if (!actSaveExecute()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void TfrmConfig::showCountText()
{
    panel1->setText(countText(list_.size()));
}

void TfrmConfig::showHelpPrompt()
{
    panel0->setText(u8(kHelpPromptText));
}

bool TfrmConfig::loadList()
{
    try {
        list_.load(listPath());
    } catch (const EFOpenError& e) {
        app_.prompt().tell(kErrorDialogCaption, "リストファイルを読めません\r\n" + e.path + "\r\n" + errorText(e.err),
                           PromptIcon::Error, this);
        return false;
    }
    return true;
}

bool TfrmConfig::actSaveExecute()
{
    if (refusedDuringRun(app_, this))
        return false;
    bool changed = false;
    for (size_t row = 0; row < list_.size(); ++row) {
        if (!needsUsageHint(list_.at(row)))
            continue;
        const PromptAnswer answer = app_.prompt().ask({kUsageHintCaption, usageHintText(list_.at(row).address),
                                                      PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::Yes,
                                                      this});
        if (answer == PromptAnswer::Yes) {
            list_.setFolderOption(row, 0);
            changed = true;
        }
    }
    // A list nobody edited is not rewritten: the file stays as it is, byte for byte (what the
    // view could not show, or a run changed meanwhile, is not lost to a mere look). A missing
    // one is made, as the warning at the first start promises.
    if (!list_.dirty() && pathExists(listPath())) {
        SaveWindowLayout();
        return true;
    }
    if (const int err = list_.save(listPath()); err != 0) {
        app_.prompt().tell(kErrorDialogCaption,
                           "リストファイルを保存できません\r\n" + listPath() + "\r\n" + errorText(err) +
                               "\r\n（リストの内容はこのウインドウに残っています）",
                           PromptIcon::Error, this);
        return false;
    }
    if (changed)
        loadList();
    SaveWindowLayout();
    return true;
}

void TfrmConfig::mnuQuitNowClick()
{
    actSaveExecute();  // refused during a run: the quit goes on
    hide();             // saved once: the program's end does not save it again
    app_.quit();        // stores the settings and ends the program
}

void TfrmConfig::M1Click()
{
    mnuAuto->setChecked(app_.settings().Mirroring);
}

void TfrmConfig::mnuListClick()
{
    const bool any = lsvFileList->selectionModel()->hasSelection();
    for (QAction* a : {mnuEdit, mnuDelete, mnuOpenAddress, mnuOpenMired, mnuDelAddress, mnuEraseMiredFiles})
        a->setEnabled(any);
}

void TfrmConfig::R1Click()
{
    R2->setEnabled(lsvFileList->selectionModel()->hasSelection());
}

// ---- selection and sorting ----

std::vector<size_t> TfrmConfig::selection() const
{
    std::vector<size_t> rows;
    for (const QModelIndex& index : lsvFileList->selectionModel()->selectedRows())
        rows.push_back(size_t(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmConfig::selectRows(const std::vector<size_t>& rows)
{
    QItemSelection sel;
    for (size_t r : rows)
        sel.select(model_->index(int(r), 0), model_->index(int(r), int(kItemColumnCount) - 1));
    lsvFileList->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty())
        lsvFileList->selectionModel()->setCurrentIndex(model_->index(int(rows.front()), 0), QItemSelectionModel::NoUpdate);
}

void TfrmConfig::markRunCondition(size_t row)
{
    runMark_ = int(runConditionOf(list_.at(row)));
    restoreMarks();
}

void TfrmConfig::markFolderOption(size_t row)
{
    optionMark_ = folderOptionIndexOf(list_.at(row));
    restoreMarks();
}

void TfrmConfig::restoreMarks()
{
    for (QAction* a : {actUnenabled, actNormal, actCompleted})
        a->setChecked(a->data().toInt() == runMark_);
    for (QAction* a : {actBase, actSync, actRemainSync, actTable})
        a->setChecked(a->data().toInt() == optionMark_);
}

void TfrmConfig::lsvFileListSelectItem()
{
    showCountText();
    showHelpPrompt();
    const std::vector<size_t> rows = selection();
    if (rows.empty())
        return;
    const MirrorItem& s = list_.at(rows.front());
    panel0->setText(selectionText(s));
    markRunCondition(rows.front());
    markFolderOption(rows.front());
    for (QAction* a : {actBase, actSync, actRemainSync, actTable})
        a->setEnabled(!s.isFile());
}

void TfrmConfig::lsvFileListColumnClick(int column)
{
    if (column < 0 || column >= int(kItemColumnCount))
        return;
    sortColumn_ = column;
    sortFlags_[size_t(column)] = !sortFlags_[size_t(column)];
    const bool ascending = sortFlags_[size_t(column)];
    // The selection follows its rows to their new places.
    const std::vector<size_t> selected = selection();
    const std::vector<size_t> order = sortOrder(list_, size_t(column), ascending);
    list_.reorder(order);
    std::vector<size_t> where(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        where[order[i]] = i;
    std::vector<size_t> moved;
    for (size_t r : selected)
        moved.push_back(where[r]);
    for (size_t c = 0; c < kItemColumnCount; ++c)
        if (int(c) != column)
            sortFlags_[c] = false;
    selectRows(moved);
}

}  // namespace renvo
