// The help window over the real help pages, and the about box: the pages link only to pages
// that exist, every command shows its page, the index finds topics, and the about box says
// what it should.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "common/Mnemonics.h"
#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "guikit/AboutBox.h"
#include "guikit/HelpWindow.h"

using namespace renvo;

namespace {

QString readResource(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Every page of the help, by file name (the window registers the pages).
QStringList helpPages()
{
    HelpWindow::pageResource({});
    return QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

// The links of a page as written.
QStringList linksOf(const QString& html)
{
    QTextDocument page;
    page.setHtml(html);
    QStringList links;
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor() && !it.fragment().charFormat().anchorHref().isEmpty())
                links << it.fragment().charFormat().anchorHref();
    return links;
}

QUrl page(const QString& name)
{
    return QUrl(QStringLiteral("qrc:/help/") + name);
}

void typeText(QWidget* target, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

TEST(HelpPages, EveryLinkLeadsToAPage)
{
    const QStringList pages = helpPages();
    for (const char* needed : {"contents.html", "index.html", "howto.html", "9.html"})
        EXPECT_TRUE(pages.contains(QString::fromLatin1(needed))) << needed;

    QSet<QString> fromContents;
    for (const QString& name : pages) {
        const QString html = readResource(HelpWindow::pageResource(name));
        ASSERT_FALSE(html.isEmpty()) << name.toStdString();
        const QStringList links = linksOf(html);
        for (const QString& link : links) {
            const QUrl url(link);
            // Relative links only: the pages move together.
            EXPECT_TRUE(url.isRelative()) << name.toStdString() << ": " << link.toStdString();
            const QUrl target = page(name).resolved(url);
            const QString resource = QStringLiteral(":") + target.path();
            EXPECT_TRUE(QFile::exists(resource)) << name.toStdString() << ": " << link.toStdString();
            if (target.hasFragment()) {
                const QString targetHtml = readResource(resource);
                const QString anchor = target.fragment();
                EXPECT_TRUE(targetHtml.contains("id=\"" + anchor + "\"") || targetHtml.contains("name=\"" + anchor + "\""))
                    << name.toStdString() << ": " << link.toStdString();
            }
            if (name == QStringLiteral("contents.html"))
                fromContents.insert(target.path().section(QChar('/'), -1));
        }
    }
    // The contents lead to every other page.
    for (const QString& name : pages) {
        if (name != QStringLiteral("contents.html")) {
            EXPECT_TRUE(fromContents.contains(name)) << name.toStdString();
        }
    }
}

TEST(HelpPages, TopicPopupIsItsFirstParagraph)
{
    const QString html = readResource(HelpWindow::pageResource(QStringLiteral("9.html")));
    const QRegularExpressionMatch first =
        QRegularExpression(QStringLiteral("<p>(.*?)</p>"), QRegularExpression::DotMatchesEverythingOption).match(html);
    ASSERT_TRUE(first.hasMatch());
    QString expected = first.captured(1);
    expected.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    EXPECT_EQ(HelpWindow::contextPopupText(9), expected.simplified());
    EXPECT_TRUE(HelpWindow::contextPopupText(9).contains(QStringLiteral("タスクトレイ")));
    EXPECT_TRUE(HelpWindow::contextPopupText(4242).isEmpty());
}

TEST(HelpWindowCommands, EveryLabelsMnemonicReachesAControl)
{
    HelpWindow w;
    EXPECT_EQ(test::labelsWithoutBuddy(w), QStringList());
}

TEST(HelpWindowCommands, EachCommandShowsItsPage)
{
    HelpWindow w;
    const struct {
        unsigned command;
        unsigned data;
        const char* page;
        const char* heading;
    } cases[] = {
        {HELP_CONTEXT, 9, "9.html", "トレイのアイコン"},
        {HELP_HELPONHELP, 0, "howto.html", "ヘルプの使い方"},
        {HELP_FINDER, 0, "contents.html", "Renvo ヘルプ 目次"},
        {HELP_KEY, 0, "index.html", "キーワード索引"},
        {HELP_CONTEXT, 9, "9.html", "トレイのアイコン"},
        // A command the window does not know shows the contents.
        {999, 9, "contents.html", "Renvo ヘルプ 目次"},
    };
    for (const auto& c : cases) {
        w.showHelp(c.command, c.data);
        EXPECT_EQ(w.currentPage(), page(QString::fromLatin1(c.page))) << c.command;
        EXPECT_TRUE(w.browser->toPlainText().startsWith(QString::fromUtf8(c.heading))) << c.command;
        EXPECT_TRUE(w.isVisible());
        EXPECT_FALSE(w.lblNotice->isVisibleTo(&w));
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Renvo ヘルプ"));
    }
    // The index is there to be searched.
    w.showHelp(HELP_KEY, 0);
    EXPECT_EQ(w.focusWidget(), w.edtSearch);
}

TEST(HelpWindowCommands, MissingTopicFallsBackToTheContents)
{
    HelpWindow w;
    for (unsigned missing : {0u, 4242u, 0xFFFFFFFFu}) {
        w.showHelp(HELP_CONTEXT, missing);
        EXPECT_EQ(w.currentPage(), page(QStringLiteral("contents.html"))) << missing;
        EXPECT_TRUE(w.lblNotice->isVisibleTo(&w));
        EXPECT_TRUE(w.lblNotice->text().contains(QString::number(missing))) << w.lblNotice->text().toStdString();
    }
    // Following a link leaves the notice behind with its page.
    w.browser->setSource(page(QStringLiteral("howto.html")));
    EXPECT_FALSE(w.lblNotice->isVisibleTo(&w));
    w.showHelp(HELP_CONTEXT, 1);
    EXPECT_TRUE(w.lblNotice->isVisibleTo(&w));
    w.showHelp(HELP_CONTEXT, 9);
    EXPECT_FALSE(w.lblNotice->isVisibleTo(&w));
}

TEST(HelpWindowIndex, SearchFiltersTheKeywordsAndOpensTheTopic)
{
    HelpWindow w;
    w.showHelp(HELP_KEY, 0);
    const QStringList all = w.shownKeywords();
    // The keywords are the index's list, without its link back to the contents.
    EXPECT_TRUE(all.contains(QStringLiteral("トレイのアイコン")));
    EXPECT_TRUE(all.contains(QStringLiteral("ヘルプの使い方")));
    EXPECT_FALSE(all.contains(QStringLiteral("目次に戻る")));
    EXPECT_EQ(all.size(), linksOf(readResource(HelpWindow::pageResource(QStringLiteral("index.html")))).size() - 1);

    typeText(w.edtSearch, QStringLiteral("ミラーリング実行"));
    EXPECT_EQ(w.shownKeywords(), (QStringList{QStringLiteral("完全ミラーリング実行"), QStringLiteral("標準ミラーリング実行")}));
    QTest::keyClick(w.edtSearch, Qt::Key_Return);
    EXPECT_EQ(w.currentPage(), page(QStringLiteral("9.html")));

    // Nothing found: Enter stays on the page.
    w.edtSearch->clear();
    typeText(w.edtSearch, QStringLiteral("存在しない"));
    EXPECT_TRUE(w.shownKeywords().isEmpty());
    QTest::keyClick(w.edtSearch, Qt::Key_Return);
    EXPECT_EQ(w.currentPage(), page(QStringLiteral("9.html")));

    // Cleared, the whole list is back; a keyword chosen in the list opens its topic.
    w.edtSearch->clear();
    EXPECT_EQ(w.shownKeywords(), all);
    w.lstKeywords->setFocus();
    w.lstKeywords->setCurrentRow(int(all.indexOf(QStringLiteral("ヘルプの使い方"))));
    QTest::keyClick(w.lstKeywords, Qt::Key_Return);
    EXPECT_EQ(w.currentPage(), page(QStringLiteral("howto.html")));
}

TEST(AboutBoxTexts, NamesVersionQtAndFolder)
{
    const QString folder = QStringLiteral("/opt/<b>renvo</b> 配布");
    AboutBox box(folder);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(box.lblProgram->text(), QStringLiteral("Renvo"));
    EXPECT_TRUE(box.lblVersion->text().contains(QStringLiteral(RENVO_VERSION))) << box.lblVersion->text().toStdString();
    EXPECT_EQ(box.lblVersion->text(), QStringLiteral("バージョン ") + programVersion());
    // The revision: a short hash of the tree built, or "unknown" outside git.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^" RENVO_VERSION " \\(([0-9a-f]{4,}|unknown)\\)$"))
                    .match(programVersion())
                    .hasMatch())
        << programVersion().toStdString();
    EXPECT_TRUE(box.lblQt->text().contains(QString::fromLatin1(qVersion())));
    EXPECT_TRUE(box.lblFolder->text().contains(folder));
    EXPECT_EQ(box.lblFolder->textFormat(), Qt::PlainText);
    // The licence line names the holders under the folder line, which may wrap above it.
    EXPECT_TRUE(box.lblLicence->text().startsWith(QStringLiteral("Copyright © 2026 ")))
        << box.lblLicence->text().toStdString();
    EXPECT_TRUE(box.lblLicence->text().contains(QStringLiteral("Renvo developers")));
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_TRUE(box.lblLicence->isVisible());
    EXPECT_GE(box.lblLicence->geometry().top(), box.lblFolder->geometry().bottom());
    box.hide();
    EXPECT_EQ(box.btnOk->text(), QStringLiteral("OK"));
}

TEST(AboutBoxTexts, EnterAndEscapeClose)
{
    QWidget owner;
    AboutBox box(QStringLiteral("/opt/renvo"), &owner);
    EXPECT_EQ(box.parentWidget(), &owner);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Rejected);
}
