// The add-search-folder dialog on the offscreen platform, over real folders in a temporary
// folder, and the list editor's icons.
#include "guikit/HelpPopup.h"
#include "listedit/AddSearchFolder.h"

#include "common/Mnemonics.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "guikit/HelpWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::ScriptedPrompt;
using test::TempDir;
using test::writeFile;

struct Dialog {
    ScriptedPrompt prompt;
    std::vector<std::pair<unsigned, unsigned>> helpCalls;
    TfrmAddSearchFolder form{prompt, [this](unsigned command, unsigned data) { helpCalls.emplace_back(command, data); }};

    void setFolder(const std::string& path) { form.edtFolderName->setText(QString::fromStdString(path)); }
    // Shown and active, so that mnemonics and the default button take keys.
    bool showActive()
    {
        form.show();
        QApplication::setActiveWindow(&form);
        form.activateWindow();
        return QTest::qWaitForWindowActive(&form);
    }
};

TEST(AddSearchFolder, EveryLabelsMnemonicReachesAControl)
{
    Dialog d;
    EXPECT_EQ(test::labelsWithoutBuddy(d.form), QStringList());
}

TEST(AddSearchFolder, OkOnlyWhileTheTextNamesAnExistingFolder)
{
    TempDir tmp;
    fs::create_directories(tmp / "photos/2024");
    writeFile(tmp / "notes.txt", "x");
    fs::create_directory_symlink(tmp / "photos", tmp / "link");
    fs::create_symlink(tmp / "notes.txt", tmp / "filelink");
    Dialog d;
    EXPECT_FALSE(d.form.btnOK->isEnabled());

    // Typed key by key: the partial names exist nowhere, the last key completes the folder.
    d.setFolder(tmp / "pho");
    EXPECT_FALSE(d.form.btnOK->isEnabled());
    QTest::keyClicks(d.form.edtFolderName, "to");
    EXPECT_FALSE(d.form.btnOK->isEnabled());
    QTest::keyClicks(d.form.edtFolderName, "s");
    EXPECT_TRUE(d.form.btnOK->isEnabled());
    QTest::keyClick(d.form.edtFolderName, Qt::Key_Backspace);
    EXPECT_FALSE(d.form.btnOK->isEnabled());

    d.setFolder(tmp / "photos/2024/");
    EXPECT_TRUE(d.form.btnOK->isEnabled());
    d.setFolder(tmp / "link");  // a link to a folder counts as the folder
    EXPECT_TRUE(d.form.btnOK->isEnabled());
    d.setFolder(tmp / "notes.txt");
    EXPECT_FALSE(d.form.btnOK->isEnabled());
    d.setFolder(tmp / "filelink");
    EXPECT_FALSE(d.form.btnOK->isEnabled());
    d.setFolder(tmp / "notes.txt/");
    EXPECT_FALSE(d.form.btnOK->isEnabled());
    d.setFolder("");
    EXPECT_FALSE(d.form.btnOK->isEnabled());
    d.setFolder("/");
    EXPECT_TRUE(d.form.btnOK->isEnabled());
}

TEST(AddSearchFolder, OkHandsOverTheTidiedValues)
{
    TempDir tmp;
    fs::create_directories(tmp / "data");
    {
        Dialog d;
        d.setFolder(tmp / "data//");
        d.form.edtFileMask->clear();
        d.form.chkSubFolder->setChecked(true);
        QTest::mouseClick(d.form.btnOK, Qt::LeftButton);
        EXPECT_EQ(d.form.result(), QDialog::Accepted);
        EXPECT_EQ(d.form.folderName(), tmp / "data");
        EXPECT_EQ(d.form.edtFolderName->text().toStdString(), tmp / "data");  // put back into the edit
        EXPECT_EQ(d.form.fileMask(), "*.*");
        EXPECT_EQ(d.form.edtFileMask->text(), QStringLiteral("*.*"));
        EXPECT_TRUE(d.form.subFolders());
        EXPECT_TRUE(d.form.btnOK->isEnabled());
    }
    {
        Dialog d;
        d.setFolder(tmp / "data");
        d.form.edtFileMask->setText(QStringLiteral("*.txt *.doc"));
        QTest::mouseClick(d.form.btnOK, Qt::LeftButton);
        EXPECT_EQ(d.form.result(), QDialog::Accepted);
        EXPECT_EQ(d.form.folderName(), tmp / "data");
        EXPECT_EQ(d.form.fileMask(), "*.txt *.doc");
        EXPECT_FALSE(d.form.subFolders());
    }
    for (const char* root : {"/", "//", "///"}) {
        Dialog d;
        d.setFolder(root);
        QTest::mouseClick(d.form.btnOK, Qt::LeftButton);
        EXPECT_EQ(d.form.result(), QDialog::Accepted) << root;
        EXPECT_EQ(d.form.folderName(), "/") << root;
        EXPECT_EQ(d.form.fileMask(), "*.*") << root;  // the mask it starts with
    }
}

TEST(AddSearchFolder, TrailingDelimitersGoButNotTrailBytes)
{
    EXPECT_EQ(trimTrailingDelimiters("/home/a//"), "/home/a");
    EXPECT_EQ(trimTrailingDelimiters("/home/a"), "/home/a");
    EXPECT_EQ(trimTrailingDelimiters("/"), "/");
    EXPECT_EQ(trimTrailingDelimiters("//"), "/");
    EXPECT_EQ(trimTrailingDelimiters(""), "");
    EXPECT_EQ(trimTrailingDelimiters("/データ/写真/"), "/データ/写真");

    // CP932: 0x95 0x5C is one character ("表") whose trail byte looks like a backslash.
    const PathRules& win = windowsCp932Rules();
    EXPECT_EQ(trimTrailingDelimiters("C:\\Data\\\x95\x5C", win), "C:\\Data\\\x95\x5C");
    EXPECT_EQ(trimTrailingDelimiters("C:\\Data\\\x95\x5C\\\\", win), "C:\\Data\\\x95\x5C");
    EXPECT_EQ(trimTrailingDelimiters("C:\\Data\\\\", win), "C:\\Data");
    // A single-byte half-width katakana (0xB6) before a backslash: that backslash is a delimiter.
    EXPECT_EQ(trimTrailingDelimiters("C:\\\xB6\\", win), "C:\\\xB6");
}

TEST(AddSearchFolder, TheCaptionDecidesTheForm)
{
    Dialog d;
    d.form.setupBulkAdd();
    EXPECT_EQ(d.form.windowTitle(), QStringLiteral("ファイルの一括追加"));
    EXPECT_EQ(d.form.Label1->text(), QStringLiteral("追加したいファイルのあるフォルダ(&F)"));
    EXPECT_EQ(d.form.edtFolderName->property(kHelpContextProperty).toUInt(), 87u);
    EXPECT_EQ(d.form.chkSubFolder->property(kHelpContextProperty).toUInt(), 88u);
    EXPECT_EQ(d.form.edtFileMask->property(kHelpContextProperty).toUInt(), 89u);
    EXPECT_FALSE(d.form.isAddFolderForm());
    EXPECT_EQ(d.form.iconIndex(), 1);
    QTest::mouseClick(d.form.BitBtn3, Qt::LeftButton);

    d.form.setupAddFolder();
    EXPECT_EQ(d.form.windowTitle(), QStringLiteral("フォルダの追加"));
    EXPECT_EQ(d.form.Label1->text(), QStringLiteral("追加するフォルダの名前(&F)"));
    EXPECT_EQ(d.form.edtFolderName->property(kHelpContextProperty).toUInt(), 84u);
    EXPECT_EQ(d.form.chkSubFolder->property(kHelpContextProperty).toUInt(), 85u);
    EXPECT_EQ(d.form.edtFileMask->property(kHelpContextProperty).toUInt(), 86u);
    EXPECT_TRUE(d.form.isAddFolderForm());
    EXPECT_EQ(d.form.iconIndex(), 0);
    QTest::mouseClick(d.form.BitBtn3, Qt::LeftButton);

    // Anything but the exact add-folder caption is the bulk form, whatever the label says.
    d.form.setWindowTitle(QStringLiteral("フォルダの追加 "));
    EXPECT_FALSE(d.form.isAddFolderForm());
    QTest::mouseClick(d.form.BitBtn3, Qt::LeftButton);

    const std::vector<std::pair<unsigned, unsigned>> expected{
        {HELP_CONTEXT, 30}, {HELP_CONTEXT, 29}, {HELP_CONTEXT, 30}};
    EXPECT_EQ(d.helpCalls, expected);
    EXPECT_TRUE(d.form.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
}

// The top-left corner as painted, against the form's image drawn over the window colour.
bool cornerShowsImage(TfrmAddSearchFolder& form, int index)
{
    const int s = TfrmAddSearchFolder::kImageSize;
    const QImage shot = form.grab().toImage().copy(TfrmAddSearchFolder::kImageLeft, TfrmAddSearchFolder::kImageTop, s, s)
                            .convertToFormat(QImage::Format_RGB32);
    QImage expected(s, s, QImage::Format_RGB32);
    expected.fill(form.palette().color(QPalette::Window));
    QPainter p(&expected);
    p.drawPixmap(QRect(0, 0, s, s), TfrmAddSearchFolder::formImage(index));
    p.end();
    return shot == expected;
}

TEST(AddSearchFolder, PaintsTheImageOfItsForm)
{
    Dialog d;
    d.form.setupBulkAdd();
    d.form.resize(d.form.sizeHint());
    EXPECT_TRUE(cornerShowsImage(d.form, 1));
    EXPECT_FALSE(cornerShowsImage(d.form, 0));
    d.form.setupAddFolder();
    EXPECT_TRUE(cornerShowsImage(d.form, 0));
    EXPECT_FALSE(cornerShowsImage(d.form, 1));
}

TEST(AddSearchFolder, BrowseReplacesTheTextAndCancelKeepsIt)
{
    TempDir tmp;
    fs::create_directories(tmp / "chosen");
    Dialog d;
    d.setFolder(tmp / "typed");
    d.prompt.expectFolder(tmp / "chosen").expectFolder(std::nullopt);

    QTest::mouseClick(d.form.btnSearchFolder, Qt::LeftButton);
    EXPECT_EQ(d.form.edtFolderName->text().toStdString(), tmp / "chosen");
    EXPECT_TRUE(d.form.btnOK->isEnabled());

    QTest::mouseClick(d.form.btnSearchFolder, Qt::LeftButton);
    EXPECT_EQ(d.form.edtFolderName->text().toStdString(), tmp / "chosen");
    EXPECT_TRUE(d.form.btnOK->isEnabled());

    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.choosers.size(), 2u);
    EXPECT_EQ(d.prompt.choosers[0].kind, test::ChooserKind::Folder);
    EXPECT_EQ(d.prompt.choosers[0].caption, "フォルダの選択");
    EXPECT_EQ(d.prompt.choosers[0].folder, tmp / "typed");
    EXPECT_EQ(d.prompt.choosers[1].folder, tmp / "chosen");
    EXPECT_TRUE(d.prompt.asked.empty());
}

TEST(AddSearchFolder, MnemonicsTabOrderEnterAndEscape)
{
    TempDir tmp;
    fs::create_directories(tmp / "data");
    Dialog d;
    d.form.setupAddFolder();
    ASSERT_TRUE(d.showActive());

    d.form.edtFileMask->setFocus();
    QTest::keyClick(&d.form, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.form.edtFolderName);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.form.edtFileMask);
    // A button's mnemonic clicks it animated: the toggle comes when the button is released.
    QCheckBox* sub = d.form.chkSubFolder;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([sub] { return sub->isChecked(); }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), sub);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([sub] { return !sub->isChecked(); }, 2000));

    // Enter does nothing while OK is disabled.
    d.form.edtFolderName->setFocus();
    d.setFolder(tmp / "missing");
    QTest::keyClick(d.form.edtFolderName, Qt::Key_Return);
    EXPECT_TRUE(d.form.isVisible());

    d.setFolder(tmp / "data/");
    std::vector<QWidget*> order{QApplication::focusWidget()};
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget());
    }
    const std::vector<QWidget*> expected{d.form.edtFolderName, d.form.btnSearchFolder, d.form.chkSubFolder,
                                         d.form.edtFileMask,   d.form.btnOK,           d.form.BitBtn2,
                                         d.form.BitBtn3};
    EXPECT_EQ(order, expected);

    d.form.edtFileMask->setFocus();
    d.form.edtFileMask->clear();
    QTest::keyClick(d.form.edtFileMask, Qt::Key_Return);
    EXPECT_FALSE(d.form.isVisible());
    EXPECT_EQ(d.form.result(), QDialog::Accepted);
    EXPECT_EQ(d.form.folderName(), tmp / "data");
    EXPECT_EQ(d.form.fileMask(), "*.*");

    Dialog other;
    other.setFolder(tmp / "data");
    ASSERT_TRUE(other.showActive());
    QTest::keyClick(other.form.edtFolderName, Qt::Key_Escape);
    EXPECT_FALSE(other.form.isVisible());
    EXPECT_EQ(other.form.result(), QDialog::Rejected);
}

TEST(ListEditIcons, EveryIconLoads)
{
    registerListEditIcons();
    const QStringList names = QDir(QStringLiteral(":/listedit")).entryList(QDir::Files, QDir::Name);
    for (const char* wanted : {"file.svg",       "folder.svg",    "addfolder.svg", "bulkadd.svg", "save.svg",
                               "edit.svg",       "delete.svg",    "openfolder.svg", "openfiles.svg",
                               "openfile.svg",   "check.svg",     "execute.svg",   "executeall.svg",
                               "config.svg",     "help.svg",      "unenabled.svg", "normal.svg",
                               "completed.svg",  "base.svg",      "sync.svg",      "remainsync.svg", "table.svg"})
        EXPECT_TRUE(names.contains(QLatin1String(wanted))) << wanted;
    EXPECT_EQ(names.size(), 22);

    for (const QString& name : names) {
        for (int size : {16, 20}) {
            const QPixmap pixmap = listEditIcon(name).pixmap(size, size);
            ASSERT_FALSE(pixmap.isNull()) << name.toStdString() << " at " << size;
            EXPECT_EQ(pixmap.width(), size) << name.toStdString();
            // Something was drawn, not an empty sheet.
            const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            EXPECT_GT(opaque, size * size / 8) << name.toStdString() << " at " << size;
        }
    }
}

}  // namespace
}  // namespace renvo
