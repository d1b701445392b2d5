// The restore page on the offscreen platform over a real backup tree: its controls, the
// search rows, the column sort, the target chooser and a restore driven through the page.
#include "dialog/RestorePage.h"

#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "guikit/HelpPopup.h"

#include <QApplication>
#include <QCollator>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScriptedPrompt;
using test::TempDir;
using test::writeFile;

struct Page {
    TempDir tmp;
    std::string top = tmp / "Mirror";
    RestoreInputs inputs{tmp / "home/docs", false, true, "docs", top, 3};
    int inputCalls = 0;
    ScriptedPrompt prompt;
    TFileOperation op;
    QWidget window;  // the dialog the page sits in
    TRestorePage* page = new TRestorePage(
        prompt, op,
        [this] {
            ++inputCalls;
            return inputs;
        },
        &window);

    std::string put(const std::string& rel, const std::string& content) { return writeFile(top + "/" + rel, content); }
    std::vector<std::string> column(int c) const
    {
        std::vector<std::string> out;
        for (int i = 0; i < page->lsvRestore->topLevelItemCount(); ++i)
            out.push_back(page->lsvRestore->topLevelItem(i)->text(c).toStdString());
        return out;
    }
    void select(const std::vector<int>& rows)
    {
        page->lsvRestore->clearSelection();
        for (int r : rows)
            page->lsvRestore->topLevelItem(r)->setSelected(true);
    }
};

TEST(RestorePage, ControlsAtStart)
{
    Page p;
    TRestorePage& page = *p.page;
    EXPECT_FALSE(page.lsvRestore->isEnabled());
    EXPECT_FALSE(page.btnRestore->isEnabled());
    EXPECT_TRUE(page.btnSearchBackupFile->isEnabled());
    EXPECT_TRUE(page.edtRestoreTarget->text().isEmpty());
    EXPECT_EQ(page.lsvRestore->topLevelItemCount(), 0);
    EXPECT_EQ(p.inputCalls, 0);  // read when acting, not when built

    EXPECT_EQ(page.btnSearchBackupFile->text(), QStringLiteral("バックアップを検索(&S)..."));
    EXPECT_EQ(page.btnRestore->text(), QStringLiteral("復元(&R)"));
    EXPECT_FALSE(page.btnSearchBackupFile->icon().isNull());
    EXPECT_FALSE(page.btnRestore->icon().isNull());
    EXPECT_EQ(page.lblRestore->text(), QStringLiteral("復元候補リスト(&L)："));
    EXPECT_EQ(page.lblRestore->buddy(), page.lsvRestore);
    EXPECT_EQ(page.lblTarget->text(), QStringLiteral("復元先基準(&T)："));
    EXPECT_EQ(page.lblTarget->buddy(), page.edtRestoreTarget);
    EXPECT_EQ(page.btnSelectFolder->text(), QStringLiteral("..."));
    const QTreeWidgetItem* header = page.lsvRestore->headerItem();
    EXPECT_EQ(header->text(0), QStringLiteral("ファイル名"));
    EXPECT_EQ(header->text(1), QStringLiteral("サブフォルダ"));
    EXPECT_EQ(header->text(2), QStringLiteral("世代"));
    EXPECT_EQ(page.lsvRestore->selectionMode(), QAbstractItemView::ExtendedSelection);

    EXPECT_EQ(helpContextOf(page.btnSearchBackupFile), 109u);
    EXPECT_EQ(helpContextOf(page.btnRestore), 110u);
    EXPECT_EQ(helpContextOf(page.lsvRestore), 111u);
    EXPECT_EQ(helpContextOf(page.edtRestoreTarget), 112u);
    EXPECT_EQ(helpContextOf(page.btnSelectFolder), 0u);
    EXPECT_EQ(page.btnSearchBackupFile->toolTip(), QStringLiteral("バックアップを検索する"));
    EXPECT_EQ(page.btnRestore->toolTip(), QStringLiteral("選択したファイルを復元"));
    EXPECT_EQ(page.lsvRestore->toolTip(), QStringLiteral("復元したいファイルを複数選択して [復元] を押す"));
    EXPECT_EQ(page.edtRestoreTarget->toolTip(), QStringLiteral("復元先の基準を指定する(サブフォルダは自動的に付加)"));
    EXPECT_EQ(page.btnSelectFolder->toolTip(), QStringLiteral("フォルダの選択"));
    EXPECT_EQ(page.btnRestore->statusTip(), page.btnRestore->toolTip());
}

TEST(RestorePage, SearchFillsRowsAndTheTargetOrSaysNothingWasFound)
{
    Page p;
    p.put("Latest/docs/a.txt", "a");
    p.put("Latest/docs/sub/b.txt", "b");
    p.put("History2/docs/a.txt", "old a");
    p.page->btnSearchBackupFile->click();
    EXPECT_EQ(p.inputCalls, 1);
    EXPECT_EQ(p.column(0), (std::vector<std::string>{"a.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(p.column(1), (std::vector<std::string>{"docs", "docs/sub", "docs"}));
    EXPECT_EQ(p.column(2), (std::vector<std::string>{"Latest", "Latest", "History2"}));
    EXPECT_TRUE(p.page->lsvRestore->isEnabled());
    EXPECT_TRUE(p.page->btnRestore->isEnabled());
    EXPECT_EQ(p.page->edtRestoreTarget->text().toStdString(), p.tmp / "home/docs");
    ASSERT_NE(p.page->candidateOf(2), nullptr);
    EXPECT_EQ(p.page->candidateOf(2)->backupPath, p.top + "/History2/docs/a.txt");

    // The destination text as it is now: another one finds nothing, and the target stays.
    p.inputs.dest = "pictures";
    p.page->btnSearchBackupFile->click();
    EXPECT_EQ(p.column(0), (std::vector<std::string>{"見つかりませんでした"}));
    EXPECT_FALSE(p.page->lsvRestore->isEnabled());
    EXPECT_FALSE(p.page->btnRestore->isEnabled());
    EXPECT_EQ(p.page->candidateOf(0), nullptr);
    EXPECT_EQ(p.page->edtRestoreTarget->text().toStdString(), p.tmp / "home/docs");

    // A file item proposes the address's folder.
    p.put("History1/pictures/photo.png", "p");
    p.inputs = {p.tmp / "home/pics/photo.png", true, false, "pictures", p.top, 1};
    p.page->btnSearchBackupFile->click();
    EXPECT_EQ(p.column(2), (std::vector<std::string>{"History1"}));
    EXPECT_EQ(p.page->edtRestoreTarget->text().toStdString(), p.tmp / "home/pics");
    EXPECT_TRUE(p.page->btnRestore->isEnabled());
}

TEST(RestorePage, ColumnClicksSortAscendingThenDescendingAndAnotherColumnStartsAscending)
{
    Page p;
    p.inputs.limitHistory = 10;
    p.put("Latest/docs/b.txt", "x");
    p.put("Latest/docs/Zeta/a.txt", "x");
    p.put("History2/docs/c.txt", "x");
    p.put("History10/docs/sub/B.txt", "x");
    p.page->btnSearchBackupFile->click();
    ASSERT_EQ(p.page->lsvRestore->topLevelItemCount(), 4);
    p.select({0});  // b.txt of Latest
    const QTreeWidgetItem* selected = p.page->lsvRestore->topLevelItem(0);

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    auto sortedBy = [&](int c, bool ascending) {
        std::vector<std::string> v = p.column(c);
        std::stable_sort(v.begin(), v.end(), [&](const std::string& a, const std::string& b) {
            const int r = collator.compare(QString::fromStdString(a), QString::fromStdString(b));
            return ascending ? r < 0 : r > 0;
        });
        return v;
    };
    // The generation sorts as text: History10 before History2, both before Latest.
    p.page->lsvRestoreColumnClick(2);
    EXPECT_EQ(p.column(2), (std::vector<std::string>{"History10", "History2", "Latest", "Latest"}));
    p.page->lsvRestoreColumnClick(2);
    EXPECT_EQ(p.column(2), (std::vector<std::string>{"Latest", "Latest", "History2", "History10"}));

    for (int c : {0, 1}) {
        const auto up = sortedBy(c, true);
        const auto down = sortedBy(c, false);
        p.page->lsvRestoreColumnClick(c);
        EXPECT_EQ(p.column(c), up) << c;
        p.page->lsvRestoreColumnClick(c);
        EXPECT_EQ(p.column(c), down) << c;
        p.page->lsvRestoreColumnClick(c);
        EXPECT_EQ(p.column(c), up) << c;
    }
    // Letter case counts: "b.txt" and "B.txt" are two keys, in the locale's order.
    EXPECT_NE(collator.compare(QStringLiteral("b.txt"), QStringLiteral("B.txt")), 0);
    // Another column's click resets the flag of column 2: it starts ascending again.
    p.page->lsvRestoreColumnClick(2);
    EXPECT_EQ(p.column(2).front(), "History10");
    p.page->lsvRestoreColumnClick(1);
    p.page->lsvRestoreColumnClick(2);
    EXPECT_EQ(p.column(2).front(), "History10");

    // Rows keep their candidates and the selection through the sorts; a click on the header does the same.
    EXPECT_TRUE(selected->isSelected());
    EXPECT_EQ(p.page->lsvRestore->selectedItems().size(), 1);
    for (int i = 0; i < 4; ++i) {
        const RestoreCandidate* c = p.page->candidateOf(i);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->fileName, p.column(0)[size_t(i)]);
        EXPECT_EQ(c->generation, p.column(2)[size_t(i)]);
    }
    QHeaderView* header = p.page->lsvRestore->header();
    p.window.resize(500, 400);
    p.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.window));
    const QPoint nameSection(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameSection);
    EXPECT_EQ(p.column(0), sortedBy(0, true));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameSection);
    EXPECT_EQ(p.column(0), sortedBy(0, false));
}

TEST(RestorePage, RestoreTakesTheSelectedRowsInListOrderAndTidiesTheTarget)
{
    Page p;
    p.put("Latest/docs/a.txt", "a");
    p.put("Latest/docs/x/y/b.txt", "b");
    p.put("History1/docs/c.txt", "c");
    p.page->btnSearchBackupFile->click();
    ASSERT_EQ(p.page->lsvRestore->topLevelItemCount(), 3);
    const std::string target = p.tmp / "back";
    p.page->edtRestoreTarget->setText(QString::fromStdString(target + "//"));

    // Nothing selected: nothing is asked.
    p.page->lsvRestore->clearSelection();
    p.page->btnRestoreClick();
    EXPECT_TRUE(p.prompt.asked.empty());

    p.page->lsvRestoreColumnClick(0);
    p.page->lsvRestoreColumnClick(0);  // c.txt, b.txt, a.txt
    p.select({0, 1});
    p.prompt.expect(PromptAnswer::Yes).expect(PromptAnswer::No).expect("作業完了", PromptAnswer::Ok);
    p.page->btnRestore->click();
    p.prompt.expectAllAnswered();
    EXPECT_EQ(p.page->edtRestoreTarget->text().toStdString(), target);
    ASSERT_EQ(p.prompt.asked.size(), 3u);
    EXPECT_EQ(p.prompt.asked[0].text, "アドレス c.txt を " + target + " に復元します\r\nよろしいですか？");
    EXPECT_EQ(p.prompt.asked[1].text, "アドレス b.txt を " + target + "/x/y に復元します\r\nよろしいですか？");
    EXPECT_EQ(p.prompt.asked[2].text, "作業が完了しました");
    for (const PromptMessage& m : p.prompt.asked)
        EXPECT_EQ(m.owner, static_cast<const void*>(&p.window));
    EXPECT_EQ(readFile(target + "/c.txt"), "c");
    EXPECT_FALSE(fs::exists(target + "/x"));
    EXPECT_EQ(p.page->lastOutcome().restored, 1);
    // The list and its selection are as they were.
    EXPECT_EQ(p.page->lsvRestore->selectedItems().size(), 2);
    EXPECT_EQ(p.column(0), (std::vector<std::string>{"c.txt", "b.txt", "a.txt"}));

    // A target inside the top folder is refused with the error box, nothing asked.
    p.page->edtRestoreTarget->setText(QString::fromStdString(p.top + "/Latest/docs"));
    p.prompt.expect("エラー", PromptAnswer::Ok);
    p.page->btnRestoreClick();
    p.prompt.expectAllAnswered();
    EXPECT_TRUE(p.page->lastOutcome().refused);
    EXPECT_EQ(readFile(p.top + "/History1/docs/c.txt"), "c");
}

TEST(RestorePage, TheFolderChooserSetsTheTargetAndCancelKeepsIt)
{
    Page p;
    p.page->edtRestoreTarget->setText(QStringLiteral("/start"));
    p.prompt.expectFolder(std::nullopt).expectFolder(p.tmp / "chosen");
    p.page->btnSelectFolder->click();
    EXPECT_EQ(p.page->edtRestoreTarget->text(), QStringLiteral("/start"));
    p.page->btnSelectFolder->click();
    EXPECT_EQ(p.page->edtRestoreTarget->text().toStdString(), p.tmp / "chosen");
    p.prompt.expectAllAnswered();
    ASSERT_EQ(p.prompt.choosers.size(), 2u);
    EXPECT_EQ(p.prompt.choosers[0].kind, test::ChooserKind::Folder);
    EXPECT_EQ(p.prompt.choosers[0].caption, "フォルダの選択");
    EXPECT_EQ(p.prompt.choosers[0].folder, "/start");
}

}  // namespace
}  // namespace renvo
