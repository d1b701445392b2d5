// The item and settings dialog's frame and item editor page on the offscreen platform: the
// binding to a row both ways, the OK checks in order, the refusals, the modes and the keyboard.

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "common/FakeApp.h"
#include "common/ListItems.h"
#include "common/Mnemonics.h"
#include "common/ScriptedPrompt.h"
#include "dialog/Property.h"
#include "dialog/RestorePage.h"
#include "dialog/SettingsPages.h"
#include "engine/ListFile.h"
#include "engine/RunTexts.h"
#include "guikit/HelpPopup.h"
#include "guikit/HelpWindow.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "settings/QRegEx.h"
#include "settings/SettingsStore.h"

using namespace renvo;
using renvo::test::ScriptedPrompt;
using renvo::test::writeFile;

using renvo::test::fileItem;
using renvo::test::folderItem;

namespace {

class PropertyTest : public test::FakeAppTest {
protected:
    void SetUp() override
    {
        FakeAppTest::SetUp();
        (void)forceDirectories(dir / "data");
    }

    // The rows of a list file.
    void listWith(const std::vector<MirrorItem>& items)
    {
        ASSERT_EQ(writeListFile(folder + kListFileName, items), 0);
        rows.load(folder + kListFileName);
    }

    // Runs `step` on the dialog once it is the modal window, then presses its button.
    void whenModal(std::function<void(TfrmProperty&)> step)
    {
        auto* timer = new QTimer(qApp);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
            auto* d = qobject_cast<TfrmProperty*>(QApplication::activeModalWidget());
            if (d == nullptr)
                return;
            timer->stop();
            timer->deleteLater();
            step(*d);
        });
        timer->start();
    }

    ItemList rows;
};

TEST_F(PropertyTest, AFolderRowIsEditedAndWrittenBack)
{
    listWith({folderItem(dir / "src", "src", 0, "*.txt"), fileItem(dir / "src/a.txt", "SRC"), folderItem(dir / "data", "data", 0, "*.txt")});
    whenModal([&](TfrmProperty& d) {
        EXPECT_EQ(d.windowTitle(), itemCaption(QString::fromStdString(dir / "src")));
        EXPECT_EQ(d.pgcProperty->currentWidget(), d.tbsItemEdit);
        EXPECT_FALSE(d.btnApply->isVisible());
        EXPECT_TRUE(d.rdbFolder->isChecked());
        EXPECT_TRUE(d.chkSubFolder->isChecked());
        EXPECT_TRUE(d.edtFileMask->isEnabled());
        ASSERT_EQ(d.cbbMirroring->count(), 2);  // src and SRC are one destination, first spelling
        EXPECT_EQ(d.cbbMirroring->itemText(0), "src");
        EXPECT_EQ(d.cbbMirroring->itemText(1), "data");
        d.edtAddress->setText(QString::fromStdString(dir / "data//"));
        d.chkSubFolder->setChecked(false);
        d.edtFileMask->clear();
        d.rdbMirroring[2]->setChecked(true);
        d.cbbMirroring->setEditText("Backup/Data");
        d.cmbUse->setCurrentIndex(2);
        d.btnOK->click();
    });
    openItemDialog(*app, rows, 0, false, nullptr);
    const MirrorItem& item = rows.at(0);
    EXPECT_EQ(item.address, dir / "data");
    EXPECT_EQ(item.subfolders, 0);
    EXPECT_EQ(item.masks, "*.*");
    EXPECT_EQ(item.folderOption, 2);
    EXPECT_EQ(item.dest, "Backup/Data");
    EXPECT_EQ(runConditionOf(item), RunCondition::CompleteOnly);
}

TEST_F(PropertyTest, AFileRowKeepsItsStoredSubfolderAndMaskBytes)
{
    MirrorItem odd = fileItem(dir / "src/a.txt", "src");
    odd.subfolders = 1;  // stored oddly, shown as "-"
    odd.masks = "-";
    listWith({odd});
    whenModal([&](TfrmProperty& d) {
        EXPECT_TRUE(d.rdbFile->isChecked());
        EXPECT_FALSE(d.chkSubFolder->isEnabled());
        EXPECT_FALSE(d.rdgMirroring->isEnabled());
        d.chkSubFolder->setChecked(true);
        d.edtFileMask->setText("*.doc");
        d.cmbUse->setCurrentIndex(0);
        d.btnOK->click();
    });
    openItemDialog(*app, rows, 0, false, nullptr);
    EXPECT_EQ(rows.at(0).subfolders, 1);
    EXPECT_EQ(rows.at(0).masks, "-");
    EXPECT_EQ(runConditionOf(rows.at(0)), RunCondition::Never);
}

TEST_F(PropertyTest, CancelChangesNothingAndTheRestoreEntryOpensTheRestorePage)
{
    listWith({folderItem(dir / "src", "src", 0, "*.txt")});
    const MirrorItem before = rows.at(0);
    whenModal([&](TfrmProperty& d) {
        EXPECT_EQ(d.pgcProperty->currentWidget(), d.tbsRestore);
        d.edtAddress->setText("/elsewhere");
        d.btnCancel->click();
    });
    openItemDialog(*app, rows, 0, true, nullptr);
    EXPECT_EQ(rows.at(0).address, before.address);
}

TEST_F(PropertyTest, TheOkChecksComeInOrderAndKeepTheDialogOpen)
{
    listWith({folderItem(dir / "src", "src", 0, "*.txt")});
    TfrmProperty d(*app, PropertyMode::Item);
    d.setItem(rows.rowAt(0).texts);
    d.show();

    // Complete only with the table: the question; No keeps the table.
    d.cmbUse->setCurrentIndex(2);
    d.rdbMirroring[3]->setChecked(true);
    prompt.expect(kMeaninglessCaption, PromptAnswer::No);
    EXPECT_TRUE(d.btnOKClick(0));
    EXPECT_TRUE(d.rdbMirroring[3]->isChecked());
    prompt.expect(kMeaninglessCaption, PromptAnswer::Yes);
    EXPECT_TRUE(d.btnOKClick(0));
    EXPECT_TRUE(d.rdbMirroring[0]->isChecked());

    d.edtAddress->setText(QString::fromStdString(dir / "missing"));
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(d.btnOKClick(0));
    EXPECT_EQ(prompt.asked.back().text, kNoSuchFolderText);

    d.rdbFile->setChecked(true);
    d.edtAddress->setText(QString::fromStdString(dir / "src"));  // a folder is no file
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(d.btnOKClick(0));
    EXPECT_EQ(prompt.asked.back().text, kNoSuchFileText);

    // A destination that would leave Latest, an address a record cannot hold.
    d.rdbFolder->setChecked(true);
    d.cbbMirroring->setEditText("../..");
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(d.btnOKClick(0));
    EXPECT_NE(prompt.asked.back().text.find(".."), std::string::npos);
    d.cbbMirroring->setEditText("src");
    const std::string deep = dir / (std::string(200, 'd') + "/" + std::string(100, 'e'));
    (void)forceDirectories(deep);
    d.edtAddress->setMaxLength(32767);
    d.edtAddress->setText(QString::fromStdString(deep));
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(d.btnOKClick(0));
    EXPECT_NE(prompt.asked.back().text.find("255"), std::string::npos);
}

TEST_F(PropertyTest, EveryLabelsMnemonicReachesAControlInBothModes)
{
    for (PropertyMode mode : {PropertyMode::Item, PropertyMode::Settings}) {
        TfrmProperty d(*app, mode);
        EXPECT_EQ(test::labelsWithoutBuddy(d), QStringList()) << int(mode);
    }
}

TEST_F(PropertyTest, DuringARunOkIsRefusedInBothModes)
{
    listWith({folderItem(dir / "src", "src", 0, "*.txt")});
    TfrmProperty d(*app, PropertyMode::Item);
    d.setItem(rows.rowAt(0).texts);
    d.show();
    app->running = true;
    prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    EXPECT_FALSE(d.btnOKClick(0));
    EXPECT_EQ(prompt.asked.back().owner, &d);

    TfrmProperty s(*app, PropertyMode::Settings);
    s.show();
    EXPECT_EQ(s.windowTitle(), QString::fromUtf8(kSettingsCaption));
    EXPECT_TRUE(s.btnApply->isVisible());
    EXPECT_FALSE(s.btnApply->isEnabled());
    const TSettings before = app->live;
    prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    EXPECT_FALSE(s.btnOKClick(1));
    EXPECT_EQ(app->live, before);
}

TEST_F(PropertyTest, SettingsModeShowsOnlyTheSettingsPagesAndCtrlTabMovesAmongThem)
{
    TfrmProperty d(*app, PropertyMode::Settings);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    EXPECT_FALSE(d.pgcProperty->isTabVisible(0));
    EXPECT_FALSE(d.pgcProperty->isTabVisible(1));
    EXPECT_EQ(d.pgcProperty->currentWidget(), d.settingsPages->tbsMirroring);
    auto focused = [&d]() -> QWidget* { return QApplication::focusWidget() ? QApplication::focusWidget() : &d; };
    QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(d.pgcProperty->currentWidget(), d.settingsPages->tbsIdleOption);
    QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(d.pgcProperty->currentWidget(), d.settingsPages->tbsMirroring);  // hidden pages skipped

    d.btnHelpClick();  // the mirroring page's topic
    ASSERT_FALSE(app->helps.empty());
    EXPECT_EQ(app->helps.back(), std::make_pair(unsigned(HELP_CONTEXT), 23u));
}

TEST_F(PropertyTest, MnemonicsReachTheItemPageControls)
{
    listWith({folderItem(dir / "src", "src", 0, "*.txt")});
    TfrmProperty d(*app, PropertyMode::Item);
    d.setItem(rows.rowAt(0).texts);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    QTest::keyClick(&d, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.edtAddress);
    QTest::keyClick(&d, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.edtFileMask);
    QTest::keyClick(&d, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.cbbMirroring);
    QTest::keyClick(&d, Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.cmbUse);
    // A button's mnemonic clicks it a moment later, as a click shows itself.
    QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d.chkSubFolder->isChecked(); }, 2000));
    QTest::keyClick(&d, Qt::Key_T, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.rdbMirroring[3]->isChecked(); }, 2000));
}

std::array<uint8_t, 8> storedSpan(const std::string& hive, const std::string& name)
{
    TQRegEx reg(hive);
    std::array<uint8_t, 8> bytes{};
    if (reg.OpenKey("\\Software\\Tovan\\Renvo", false))
        reg.ReadBinaryIfExists(name, bytes.data(), bytes.size());
    return bytes;
}

std::array<uint8_t, 8> spanBytes(int minutes)
{
    std::array<uint8_t, 8> bytes{};
    encodeDoubleLE(minutesSpan(minutes), bytes.data());
    return bytes;
}

TEST_F(PropertyTest, ApplyAndOkStoreTheSettingsInTheHiveAtOnce)
{
    const std::string hive = dir / "user.reg";
    app->live.Postpone = minutesSpan(5);
    app->live.IdleMode = 1;
    app->live.IdleThreshold = 40;
    TfrmProperty d(*app, PropertyMode::Settings);
    d.show();
    TSettingsPages& p = *d.settingsPages;
    EXPECT_FALSE(d.btnApply->isEnabled());
    p.chkExecute->click();
    EXPECT_TRUE(d.btnApply->isEnabled());
    p.updInterval->setValue(90);
    p.chkIdlePostpone->click();  // cleared: Postpone 0, whatever the spin shows
    d.btnApply->click();
    EXPECT_TRUE(d.isVisible());  // Apply leaves the dialog open
    EXPECT_FALSE(d.btnApply->isEnabled());
    EXPECT_EQ(storedSpan(hive, "Interval"), spanBytes(90));
    EXPECT_EQ(storedSpan(hive, "Postpone"), spanBytes(0));
    EXPECT_TRUE(app->live.Mirroring);

    p.updInterval->setValue(1439);
    p.rdbForce->click();  // mode 0 keeps the threshold of mode 1
    d.btnOK->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(storedSpan(hive, "Interval"), spanBytes(1439));
    ScriptedPrompt quiet;
    const TSettings stored = LoadSettings(folder, quiet, hive);
    EXPECT_EQ(stored.IdleMode, 0);
    EXPECT_EQ(stored.IdleThreshold, 40);
    EXPECT_EQ(stored, app->live);
}

TEST_F(PropertyTest, AStoreThatFailsCommitsNothing)
{
    TfrmProperty d(*app, PropertyMode::Settings);
    d.show();
    TSettingsPages& p = *d.settingsPages;
    const TSettings before = app->live;
    p.chkExecute->click();
    p.edtBackDir->setText("relative/top");
    prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    EXPECT_FALSE(d.btnOKClick(0));
    EXPECT_EQ(app->live, before);
    EXPECT_FALSE(fileExists(dir / "user.reg"));
    EXPECT_TRUE(d.btnApply->isEnabled());
}

TEST_F(PropertyTest, StoredBytesWithoutAWordSurviveAnEditThatLeavesThem)
{
    MirrorItem odd = folderItem(dir / "src", "src", 0, "*.txt");
    odd.runFlag = 7;
    odd.everyRun = 5;
    odd.folderOption = 9;
    listWith({odd});
    whenModal([&](TfrmProperty& d) {
        d.cbbMirroring->setEditText("elsewhere");
        d.btnOK->click();
    });
    openItemDialog(*app, rows, 0, false, nullptr);
    const MirrorItem& item = rows.at(0);
    EXPECT_EQ(item.dest, "elsewhere");
    EXPECT_EQ(item.runFlag, 7);
    EXPECT_EQ(item.everyRun, 5);
    EXPECT_EQ(item.folderOption, 9);

    whenModal([&](TfrmProperty& d) {
        d.rdbMirroring[1]->setChecked(true);  // picked by the user: written as the word says
        d.btnOK->click();
    });
    openItemDialog(*app, rows, 0, false, nullptr);
    EXPECT_EQ(rows.at(0).folderOption, 1);
    EXPECT_EQ(rows.at(0).runFlag, 7);
}

TEST_F(PropertyTest, TheItemPageKeepsItsTabOrderHelpContextsAndEnterIsOk)
{
    listWith({folderItem(dir / "src", "src", 0, "*.txt")});
    TfrmProperty d(*app, PropertyMode::Item);
    d.setItem(rows.rowAt(0).texts);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    const std::vector<std::pair<QWidget*, unsigned>> contexts{
        {d.rdgFileFolder, 78}, {d.edtAddress, 79}, {d.chkSubFolder, 80}, {d.edtFileMask, 81},
        {d.rdbMirroring[2], 82}, {d.cbbMirroring, 83}, {d.cmbUse, 108}};
    for (const auto& [control, context] : contexts)
        EXPECT_EQ(helpContextOf(control), context) << control->metaObject()->className();

    // Tab from the address visits the controls in the item page's order.
    d.edtAddress->setFocus();
    std::vector<QWidget*> visited;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, (std::vector<QWidget*>{d.Button1, d.chkSubFolder, d.edtFileMask, d.rdbMirroring[0],
                                              d.cbbMirroring, d.cmbUse}));

    // Enter on the "..." button is the dialog's OK, not a browse.
    bool accepted = false;
    QObject::connect(&d, &QDialog::accepted, [&] { accepted = true; });
    d.Button1->setFocus();
    QTest::keyClick(d.Button1, Qt::Key_Return);
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(prompt.choosers.empty());
}

}  // namespace
