// The list editor's window on the offscreen platform: the view filled from the list file and
// saved back, the refusals during a run, sorting, the selection's marks, the layout in the
// hive, the keyboard, drops, and the opener of the tray's edit-list command.

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QCheckBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

#include "common/FakeApp.h"
#include "common/ListItems.h"
#include "common/Privileges.h"
#include "engine/ListFile.h"
#include "listedit/AddSearchFolder.h"
#include "listedit/Config.h"
#include "listedit/CoolBar.h"
#include "listedit/ListEditor.h"
#include "listedit/ListModel.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "settings/QRegEx.h"
#include "settings/SettingsStore.h"

using namespace renvo;
using renvo::test::readFile;
using renvo::test::writeFile;

using renvo::test::fileItem;
using renvo::test::folderItem;

namespace {

class ListEditorTest : public test::FakeAppTest {
protected:
    void TearDown() override
    {
        if (editor && editor->isVisible())
            editor->hide();  // no closing save at the end of a test
        editor.reset();
        FakeAppTest::TearDown();
    }

    std::string listPath() const { return folder + kListFileName; }

    void writeList(const std::vector<MirrorItem>& items) { ASSERT_EQ(writeListFile(listPath(), items), 0); }

    void open()
    {
        editor = std::make_unique<TfrmConfig>(*app);
        editor->show();
    }

    QString text(size_t row, size_t column) const
    {
        return editor->model().index(int(row), int(column)).data().toString();
    }

    std::optional<int32_t> stored(const std::string& name)
    {
        TQRegEx reg(hive);
        if (!reg.OpenKey(kLayoutKey, false))
            return std::nullopt;
        int32_t v = 0;
        if (!reg.ValueExists(name))
            return std::nullopt;
        reg.ReadIntegerDef(name, v, 0);
        return v;
    }

    std::unique_ptr<TfrmConfig> editor;
};

TEST_F(ListEditorTest, ShowsTheListFileAndSavesItBackAskingAboutCompleteOnlyTables)
{
    MirrorItem table = folderItem(dir / "src", "src");
    table.everyRun = 0;  // complete runs only
    table.folderOption = 3;
    writeList({fileItem(dir / "src/a.txt", "src"), table});
    const std::string before = readFile(listPath());
    open();
    EXPECT_EQ(editor->windowTitle(), QString::fromUtf8(kListEditorCaption));
    ASSERT_EQ(editor->rows().size(), 2u);
    EXPECT_EQ(editor->panel1->text(), QString::fromUtf8("登録件数 : 2 件"));
    EXPECT_EQ(text(0, colKind), "File");
    EXPECT_EQ(text(0, colSubfolders), "-");
    EXPECT_EQ(text(1, colRun), QString::fromUtf8("完全時のみ"));
    EXPECT_EQ(text(1, colOption), QString::fromUtf8("テーブル"));

    prompt.expect(kUsageHintCaption, PromptAnswer::No);
    ASSERT_TRUE(editor->actSaveExecute());
    EXPECT_EQ(readFile(listPath()), before);
    EXPECT_NE(prompt.asked.back().text.find(dir / "src"), std::string::npos);
    EXPECT_EQ(prompt.asked.back().buttons, PromptButtons::YesNo);

    prompt.expect(kUsageHintCaption, PromptAnswer::Yes);
    ASSERT_TRUE(editor->actSaveExecute());
    EXPECT_EQ(readListFile(listPath()).at(1).folderOption, 0);
    EXPECT_EQ(text(1, colOption), QString::fromUtf8("準拠"));
    // The save stored the layout too.
    EXPECT_TRUE(stored("ListWidth").has_value());
    EXPECT_TRUE(stored("BandWidth1").has_value());
}

TEST_F(ListEditorTest, AListNobodyEditedIsNotWrittenAndAnEditKeepsWhatTheViewCannotShow)
{
    MirrorItem odd = folderItem(dir / "src", "src");
    odd.runFlag = 7;
    odd.folderOption = 9;
    writeList({odd, fileItem(dir / "src/a.txt", "src")});
    const std::string bytes = readFile(listPath());
    const std::string damaged = writeFile(listPath(), bytes + std::string(100, 'x'));  // a partial record
    ASSERT_EQ(readFile(damaged).size(), 780u * 2 + 100);

    // Opening and closing, saving and sorting back and forth: the file stays as it was.
    struct Look {
        const char* what;
        std::function<void(TfrmConfig&)> act;
    };
    const std::vector<Look> looks = {
        {"open and close", [](TfrmConfig&) {}},
        {"save", [](TfrmConfig& w) { EXPECT_TRUE(w.actSaveExecute()); }},
        {"select and switch to what the row shows",
         [](TfrmConfig& w) {
             w.selectRows({1});
             w.actNormal->trigger();
         }},
    };
    for (const Look& look : looks) {
        SCOPED_TRACE(look.what);
        open();
        ASSERT_EQ(editor->rows().size(), 2u);
        EXPECT_EQ(text(0, colRun), QString::fromUtf8("いつもする"));
        look.act(*editor);
        EXPECT_TRUE(editor->close());
        EXPECT_EQ(readFile(listPath()), bytes + std::string(100, 'x'));
    }
    EXPECT_TRUE(stored("ListWidth").has_value()) << "the closing still stores the layout";

    // An edit saves: the odd bytes of the row not edited as they were, the remainder gone.
    open();
    editor->selectRows({1});
    editor->actCompleted->trigger();
    EXPECT_TRUE(editor->close());
    const std::vector<MirrorItem> saved = readListFile(listPath());
    ASSERT_EQ(readFile(listPath()).size(), 780u * 2);
    EXPECT_EQ(readFile(listPath()).substr(0, 780), bytes.substr(0, 780));
    EXPECT_EQ(saved.at(1).everyRun, 0);

    // A sort is an edit too: the next save writes the rows in the order shown.
    open();
    editor->lsvFileListColumnClick(int(colKind));
    EXPECT_TRUE(editor->close());
    EXPECT_EQ(readListFile(listPath()).at(0).kind, 1) << "File before Folder";
}

TEST_F(ListEditorTest, DuringARunNothingIsSavedAndTheWindowStaysOpen)
{
    writeList({folderItem(dir / "src", "src")});
    open();
    editor->rows().clear();
    app->running = true;
    prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    EXPECT_FALSE(editor->actSaveExecute());
    EXPECT_FALSE(editor->close());
    editor->actExecuteExecute();  // no run, no save
    EXPECT_TRUE(app->runs.empty());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(readListFile(listPath()).size(), 1u);
    EXPECT_FALSE(stored("ListTop").has_value());
    EXPECT_EQ(prompt.asked.front().owner, editor.get());

    app->running = false;
    EXPECT_TRUE(editor->close());  // a cleared list closes as a 0-byte list file
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(fileExists(listPath()));
    EXPECT_EQ(readFile(listPath()).size(), 0u);
}

TEST_F(ListEditorTest, AListThatCannotBeWrittenKeepsTheRowsAndTheWindow)
{
    test::WithoutDacOverride guard;
    if (!guard.effective())
        GTEST_SKIP() << "permissions do not bind here";
    writeList({folderItem(dir / "src", "src")});
    open();
    editor->rows().add(fileItem(dir / "src/a.txt", "src"));
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(editor->close());
    chmod(folder.c_str(), 0755);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->rows().size(), 2u);
    EXPECT_NE(prompt.asked.back().text.find(listPath()), std::string::npos);
    EXPECT_EQ(readListFile(listPath()).size(), 1u);
}

TEST_F(ListEditorTest, ColumnClicksSortAscendingThenDescendingAndAnotherColumnStartsAscending)
{
    writeList({folderItem(dir / "b", "b"), fileItem(dir / "c.txt", ""), folderItem(dir / "a", "a")});
    open();
    editor->selectRows({1});  // c.txt
    QHeaderView* header = editor->lsvFileList->header();
    emit header->sectionClicked(colAddress);
    EXPECT_EQ(text(0, colAddress).toStdString(), dir / "a");
    EXPECT_EQ(text(2, colAddress).toStdString(), dir / "c.txt");
    EXPECT_EQ(editor->selection(), std::vector<size_t>{2});  // the selection moved with its row
    emit header->sectionClicked(colAddress);
    EXPECT_EQ(text(0, colAddress).toStdString(), dir / "c.txt");
    emit header->sectionClicked(colKind);
    EXPECT_EQ(text(0, colKind), "File");
    EXPECT_EQ(editor->sortColumn(), int(colKind));
    EXPECT_TRUE(editor->sortFlags()[colKind]);
    EXPECT_FALSE(editor->sortFlags()[colAddress]);
    // The list file keeps its order until the next save writes the order shown.
    EXPECT_EQ(readListFile(listPath()).at(0).address, dir / "b");
    ASSERT_TRUE(editor->actSaveExecute());
    EXPECT_EQ(readListFile(listPath()).at(0).address, dir / "c.txt");
}

TEST_F(ListEditorTest, TheSelectedRowNamesItselfAndSetsTheMarks)
{
    MirrorItem work = folderItem(dir / "Data/Work", "Data/Work");
    work.folderOption = 2;
    MirrorItem file = fileItem(dir / "report.doc", "");
    file.everyRun = 0;
    writeList({work, file});
    open();
    editor->selectRows({0});
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8("/Work のアイテムを選択"));
    EXPECT_TRUE(editor->actNormal->isChecked());
    EXPECT_TRUE(editor->actRemainSync->isChecked());
    EXPECT_TRUE(editor->actTable->isEnabled());
    editor->selectRows({1});
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8("report.doc のアイテムを選択"));
    EXPECT_TRUE(editor->actCompleted->isChecked());
    EXPECT_FALSE(editor->actBase->isEnabled());
    editor->selectRows({});
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8(kHelpPromptText));
    EXPECT_TRUE(editor->actCompleted->isChecked());  // with nothing selected the marks stay
}

TEST_F(ListEditorTest, RunConditionFolderOptionAndSetAllChangeTheRowsTheyShould)
{
    writeList({folderItem(dir / "a", "a"), fileItem(dir / "b.txt", ""), folderItem(dir / "c", "c")});
    open();
    editor->selectRows({0, 1});
    editor->actTable->trigger();
    EXPECT_EQ(text(0, colOption), QString::fromUtf8("テーブル"));
    EXPECT_EQ(text(1, colOption), QString::fromUtf8("準拠"));  // file rows keep theirs
    EXPECT_EQ(text(2, colOption), QString::fromUtf8("準拠"));
    editor->actUnenabled->trigger();
    EXPECT_EQ(text(0, colRun), QString::fromUtf8("しない"));
    EXPECT_EQ(text(1, colRun), QString::fromUtf8("しない"));
    EXPECT_EQ(text(2, colRun), QString::fromUtf8("いつもする"));
    EXPECT_TRUE(editor->actUnenabled->isChecked());
    editor->mnuCheckAll[2]->trigger();
    for (size_t r = 0; r < 3; ++r)
        EXPECT_EQ(text(r, colRun), QString::fromUtf8("完全時のみ"));
    EXPECT_TRUE(editor->actUnenabled->isChecked());  // set all leaves the marks

    editor->selectRows({});
    editor->actSync->trigger();  // nothing selected: nothing changes, the mark stays
    EXPECT_TRUE(editor->actTable->isChecked());
    EXPECT_EQ(text(2, colOption), QString::fromUtf8("準拠"));
}

TEST_F(ListEditorTest, TheLayoutComesBackAndAPartlyWrittenOneStopsAtTheFirstBadValue)
{
    writeList({folderItem(dir / "src", "src")});
    open();
    EXPECT_EQ(editor->lsvFileList->columnWidth(3), kListColumns[3].width);
    editor->setGeometry(40, 50, 640, 400);
    for (int c = 0; c < int(kItemColumnCount); ++c)
        editor->lsvFileList->setColumnWidth(c, 60 + c);
    editor->coolBar().setBandBreak(1, true);
    ASSERT_TRUE(editor->close());
    EXPECT_EQ(stored("ListColumn6"), 66);
    EXPECT_EQ(stored("BandBreak1"), 1);

    open();
    const QRect g = editor->geometry();
    EXPECT_EQ(g.width(), 640);
    EXPECT_EQ(g.height(), 400);
    EXPECT_EQ(editor->lsvFileList->columnWidth(4), 64);
    EXPECT_TRUE(editor->coolBar().bandBreak(1));
    editor->hide();

    {
        TQRegEx reg(hive);
        ASSERT_TRUE(reg.OpenKey(kLayoutKey, false));
        reg.StoreInteger("ListColumn3", -5);
    }
    open();
    EXPECT_EQ(editor->geometry().width(), 640);
    EXPECT_EQ(editor->lsvFileList->columnWidth(2), 62);
    EXPECT_EQ(editor->lsvFileList->columnWidth(3), kListColumns[3].width);
    EXPECT_EQ(editor->lsvFileList->columnWidth(6), kListColumns[6].width);
    EXPECT_FALSE(editor->coolBar().bandBreak(1));  // the bands keep their design
}

TEST_F(ListEditorTest, KeysDeleteRowsEditThemAndClearTheList)
{
    writeList({folderItem(dir / "a", "a"), folderItem(dir / "b", "b"), folderItem(dir / "c", "c")});
    open();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    editor->lsvFileList->setFocus();
    editor->selectRows({1});
    QTest::keyClick(editor->lsvFileList, Qt::Key_Return);
    editor->R2->trigger();
    EXPECT_EQ(app->edits, (std::vector<std::pair<size_t, bool>>{{1, false}, {1, true}}));
    EXPECT_TRUE(editor->restoreRequested());

    app->live.DelFilesOnDelItem = false;  // rows go without a question, whatever QueryDelFiles says
    app->live.QueryDelFiles = true;
    QTest::keyClick(editor->lsvFileList, Qt::Key_Delete);
    ASSERT_EQ(editor->rows().size(), 2u);
    EXPECT_EQ(text(1, colAddress).toStdString(), dir / "c");

    prompt.expect(kConfirmationDialogCaption, PromptAnswer::Yes);
    QTest::keyClick(editor->lsvFileList, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(editor->rows().empty());
    EXPECT_EQ(editor->panel1->text(), QString::fromUtf8("登録件数 : 0 件"));
}

TEST_F(ListEditorTest, TheViewFollowsEveryChangeOfTheListOnceAChange)
{
    writeList({folderItem(dir / "a", "a"), folderItem(dir / "b", "b")});
    open();
    QSignalSpy resets(&editor->model(), &QAbstractItemModel::modelReset);
    QSignalSpy repaints(&editor->model(), &QAbstractItemModel::dataChanged);
    // A text changes: the rows repaint and the selection stays.
    editor->selectRows({1});
    editor->actCompleted->trigger();
    EXPECT_EQ(repaints.count(), 1);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(editor->selection(), std::vector<size_t>{1});
    // Rows change: the view is filled anew and the count follows, once for a batch of them.
    {
        ItemList::Batch batch(editor->rows());
        editor->rows().add(folderItem(dir / "c", "c"));
        editor->rows().add(folderItem(dir / "d", "d"));
        editor->rows().setRunCondition(0, RunCondition::Never);
        EXPECT_EQ(resets.count(), 0);
    }
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(repaints.count(), 1);
    EXPECT_EQ(editor->panel1->text(), QString::fromUtf8("登録件数 : 4 件"));
    EXPECT_EQ(text(3, colAddress).toStdString(), dir / "d");
}

TEST_F(ListEditorTest, FilesAndFoldersDroppedOnTheViewBecomeRows)
{
    writeFile(dir / "Docs/x.txt", "x");
    writeFile(dir / "Docs/y.txt", "y");
    (void)forceDirectories(dir / "Data/Work");
    open();
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "Docs/x.txt")),
                   QUrl::fromLocalFile(QString::fromStdString(dir / "Data/Work")),
                   QUrl::fromLocalFile(QString::fromStdString(dir / "Docs/y.txt"))});
    std::unique_ptr<QMimeData> owner(mime);
    QWidget* target = editor->lsvFileList->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_EQ(editor->rows().size(), 3u);
    EXPECT_EQ(text(0, colDest), "Docs");
    EXPECT_EQ(text(1, colKind), "Folder");
    EXPECT_EQ(text(1, colSubfolders), QString::fromUtf8("しない"));
    EXPECT_EQ(text(1, colMasks), "*.*");
    EXPECT_EQ(text(1, colDest), "Data/Work");
    EXPECT_EQ(text(2, colRun), QString::fromUtf8("いつもする"));
    EXPECT_EQ(editor->panel1->text(), QString::fromUtf8("登録件数 : 3 件"));
}

TEST_F(ListEditorTest, TheRunCommandsSaveFirstAndTheMenusFollowTheSelection)
{
    writeList({});
    open();
    editor->rows().add(folderItem(dir / "src", "src"));
    EXPECT_EQ(text(0, colDest), "src");  // the view follows the list by itself
    editor->actExecuteAll->trigger();
    EXPECT_EQ(app->runs, std::vector<bool>{true});
    EXPECT_EQ(readListFile(listPath()).size(), 1u);  // saved before the run reads it

    editor->selectRows({});
    emit editor->mnuList->aboutToShow();
    EXPECT_FALSE(editor->mnuEraseMiredFiles->isEnabled());
    editor->selectRows({0});
    emit editor->mnuList->aboutToShow();
    EXPECT_TRUE(editor->mnuEraseMiredFiles->isEnabled());
    emit editor->mnuRestore->aboutToShow();
    EXPECT_TRUE(editor->R2->isEnabled());

    app->live.Mirroring = true;
    emit editor->mnuMirroring->aboutToShow();
    EXPECT_TRUE(editor->mnuAuto->isChecked());
    QSignalSpy changes(&app->events(), &RenvoAppEvents::settingsChanged);
    editor->mnuAuto->trigger();
    EXPECT_FALSE(app->live.Mirroring);
    EXPECT_EQ(changes.count(), 1);  // a commit, which the scheduler hears of
}

TEST_F(ListEditorTest, TheAddressCheckKeepsWhatExistsAndReloadsTheView)
{
    writeList({folderItem(dir / "src", "src"), fileItem(dir / "gone.txt", ""), fileItem(dir / "src/a.txt", "src")});
    open();
    prompt.expect(kConfirmationDialogCaption, PromptAnswer::Yes);
    editor->actCheck->trigger();
    ASSERT_EQ(editor->rows().size(), 2u);
    EXPECT_EQ(readListFile(listPath()).size(), 2u);
    EXPECT_FALSE(pathExists(folder + "_rvbak"));
    EXPECT_EQ(editor->prbProgress->isVisible(), false);
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8(kHelpPromptText));

    prompt.expect(kConfirmationDialogCaption, PromptAnswer::No);  // No: nothing happens
    (void)deleteFile(dir / "src/a.txt");
    editor->actCheck->trigger();
    EXPECT_EQ(readListFile(listPath()).size(), 2u);
}

TEST_F(ListEditorTest, TheOpenerKeepsOneWindowAndSavesItWhenTheProgramEnds)
{
    writeList({folderItem(dir / "src", "src")});
    ListEditorOpener opener(*app);
    opener.open();
    TfrmConfig* first = opener.current();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    opener.open();  // brings the open one forward
    EXPECT_EQ(opener.current(), first);

    first->rows().add(fileItem(dir / "src/a.txt", "src"));
    emit app->events().exitRequested();
    EXPECT_EQ(readListFile(listPath()).size(), 2u);

    ASSERT_TRUE(first->close());
    ASSERT_TRUE(QTest::qWaitFor([&] { return opener.current() == nullptr; }, 5000));
}

}  // namespace

namespace {

TEST_F(ListEditorTest, QuitSavesTheListOnceAndEndsTheProgram)
{
    MirrorItem table = folderItem(dir / "src", "src");
    table.everyRun = 0;
    table.folderOption = 3;
    writeList({});
    ListEditorOpener opener(*app);
    opener.open();
    TfrmConfig* w = opener.current();
    ASSERT_NE(w, nullptr);
    w->rows().add(table);
    prompt.expect(kUsageHintCaption, PromptAnswer::No);  // asked once, not again at the end
    w->mnuQuitNow->trigger();
    EXPECT_EQ(app->quits, 1);
    EXPECT_EQ(readListFile(listPath()).size(), 1u);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(ListEditorTest, ShortcutsWorkWhileTheListHasTheFocus)
{
    writeList({folderItem(dir / "src", "src"), fileItem(dir / "src/a.txt", "src")});
    open();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    editor->lsvFileList->setFocus();
    editor->selectRows({0, 1});
    QTest::keyClick(editor->lsvFileList, Qt::Key_F7, Qt::ControlModifier);
    EXPECT_EQ(text(0, colRun), QString::fromUtf8("完全時のみ"));
    EXPECT_EQ(text(1, colRun), QString::fromUtf8("完全時のみ"));
    QTest::keyClick(editor->lsvFileList, Qt::Key_F6);
    EXPECT_EQ(text(0, colOption), QString::fromUtf8("同期"));
    prompt.expect(kConfirmationDialogCaption, PromptAnswer::No);
    QTest::keyClick(editor->lsvFileList, Qt::Key_F2);
    ASSERT_FALSE(prompt.asked.empty());
    EXPECT_EQ(prompt.asked.back().text, kAddressCheckQuestion);
    QTest::keyClick(editor->lsvFileList, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(readListFile(listPath()).at(1).runFlag, 1);
    EXPECT_EQ(readListFile(listPath()).at(1).everyRun, 0);
}

}  // namespace

namespace {

TEST_F(ListEditorTest, HintsGoToTheFirstPanelAndTheHelpPromptComesBackOverTheList)
{
    writeList({});
    open();
    QStatusTipEvent tip(QString::fromUtf8("アイテムを編集"));
    QApplication::sendEvent(editor.get(), &tip);
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8("アイテムを編集"));
    EXPECT_TRUE(editor->panel0->isVisible());
    QStatusTipEvent cleared{QString()};
    QApplication::sendEvent(editor.get(), &cleared);
    EXPECT_TRUE(editor->panel0->text().isEmpty());
    QTest::mouseMove(editor->lsvFileList->viewport(), QPoint(20, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(21, 21), QPointF(21, 21), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(editor->lsvFileList->viewport(), &move);
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8(kHelpPromptText));
}

TEST_F(ListEditorTest, TheToolBarsHoldTheirButtonsInOrder)
{
    open();
    auto actionsOf = [](QToolBar* bar) {
        std::vector<QAction*> out;
        for (QAction* a : bar->actions())
            out.push_back(a->isSeparator() ? nullptr : a);
        return out;
    };
    TfrmConfig& w = *editor;
    EXPECT_EQ(actionsOf(w.ToolBar2),
              (std::vector<QAction*>{w.actSave, nullptr, w.actEdit, w.actDelete, nullptr, w.actOpenFolder,
                                     w.actOpenFiles, w.actOpenFile, nullptr, w.actCheck, nullptr, w.actExecute,
                                     w.actExecuteAll, nullptr, w.actConfig, nullptr, w.actHelp}));
    EXPECT_EQ(actionsOf(w.ToolBar1),
              (std::vector<QAction*>{w.actUnenabled, w.actNormal, w.actCompleted, nullptr, w.actBase, w.actSync,
                                     w.actRemainSync, w.actTable}));
    EXPECT_TRUE(w.actBase->isChecked());
    EXPECT_TRUE(w.actUnenabled->isChecked());
}

TEST_F(ListEditorTest, ABulkAddFromTheKeyboardFillsTheViewAndTheCount)
{
    writeFile(dir / "Data/a.txt", "a");
    writeFile(dir / "Data/Sub/b.txt", "b");
    writeFile(dir / "Data/Sub/c.doc", "c");
    writeList({});
    open();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    bool seen = false;
    auto* timer = new QTimer(editor.get());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [&, timer] {
        auto* d = qobject_cast<TfrmAddSearchFolder*>(QApplication::activeModalWidget());
        if (d == nullptr)
            return;
        timer->stop();
        seen = true;
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("ファイルの一括追加"));
        d->edtFolderName->setText(QString::fromStdString(dir / "Data"));
        d->chkSubFolder->setChecked(true);
        d->edtFileMask->setText("*.txt");
        d->btnOK->click();
    });
    timer->start();
    QTest::keyClick(editor->lsvFileList, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(seen);
    ASSERT_EQ(editor->rows().size(), 2u);
    EXPECT_EQ(text(1, colDest), "Data/Sub");
    EXPECT_EQ(editor->panel1->text(), QString::fromUtf8("登録件数 : 2 件"));
    EXPECT_EQ(editor->panel0->text(), QString::fromUtf8(kHelpPromptText));
    EXPECT_FALSE(editor->prbProgress->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace

namespace {

TEST_F(ListEditorTest, ABandOnARowOfItsOwnSitsBelowTheOther)
{
    writeList({});
    open();
    TCoolBar& bar = editor->coolBar();
    auto sameRow = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return editor->ToolBar1->geometry().top() == editor->ToolBar2->geometry().top();
    };
    EXPECT_TRUE(sameRow());
    bar.setBandBreak(1, true);
    EXPECT_FALSE(sameRow());
    EXPECT_GT(editor->ToolBar1->geometry().top(), editor->ToolBar2->geometry().top());
    bar.setBandBreak(1, false);
    EXPECT_TRUE(sameRow());
}

}  // namespace

namespace {

// The list menu greys only its own entries; the window opens with its first row selected, and
// a moving key selects the row it reaches, also one it stays on: the keys and the tool bar
// then act on it.
TEST_F(ListEditorTest, TheKeysAndTheToolBarActOnTheRowTheMovingKeysSelect)
{
    writeList({folderItem(dir / "a", "a"), folderItem(dir / "b", "b"), folderItem(dir / "c", "c")});
    open();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    editor->lsvFileList->setFocus();
    EXPECT_EQ(editor->selection(), std::vector<size_t>{0});
    QItemSelectionModel* sm = editor->lsvFileList->selectionModel();
    sm->clearSelection();
    emit editor->mnuList->aboutToShow();
    EXPECT_FALSE(editor->mnuList->actions().at(0)->isEnabled());
    const struct { int current; Qt::Key key; size_t selected; } cases[] = {
        {0, Qt::Key_Home, 0}, {2, Qt::Key_End, 2}, {0, Qt::Key_Up, 0}, {2, Qt::Key_Down, 2}, {0, Qt::Key_End, 2}};
    std::vector<std::pair<size_t, bool>> edited;
    for (const auto& c : cases) {
        sm->setCurrentIndex(editor->model().index(c.current, 0), QItemSelectionModel::Clear);
        QTest::keyClick(editor->lsvFileList, c.key);
        EXPECT_EQ(editor->selection(), std::vector<size_t>{c.selected}) << c.current << " key " << c.key;
        QTest::keyClick(editor->lsvFileList, Qt::Key_R, Qt::ControlModifier);
        edited.emplace_back(c.selected, false);
    }
    QTest::mouseClick(editor->ToolBar2->widgetForAction(editor->actEdit), Qt::LeftButton);
    edited.emplace_back(2, false);
    EXPECT_EQ(app->edits, edited);
    app->live.DelFilesOnDelItem = false;  // the row goes without a question
    emit editor->mnuList->aboutToShow();
    editor->mnuList->actions().at(1)->trigger();
    EXPECT_EQ(editor->rows().size(), 2u);
}

// Minimising the editor minimises the program's open windows with it; restoring it brings back
// those it took along.
TEST_F(ListEditorTest, MinimisingTheEditorTakesTheProgramsWindowsAlong)
{
    writeList({});
    QWidget other, alreadyDown;
    other.show();
    alreadyDown.showMinimized();
    open();
    editor->showMinimized();
    EXPECT_TRUE(other.isMinimized());
    editor->showNormal();
    EXPECT_FALSE(other.isMinimized());
    EXPECT_TRUE(alreadyDown.isMinimized());
}

}  // namespace
