// The help pages against the program: every context number the windows use has its page and
// its pop-up text, the pages the resources hold are the ones in the source tree, and every
// link and anchor leads somewhere. The numbers are read from the sources, so a control given
// a new number without a page fails here.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "guikit/HelpWindow.h"

using namespace renvo;

namespace {

const QString kPageSuffix = QStringLiteral(".html");

QString readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList resourcePages()
{
    HelpWindow::pageResource({});  // registers the pages
    return QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

QString pageHtml(const QString& name)
{
    return readFile(HelpWindow::pageResource(name));
}

bool isTopicPage(const QString& name, unsigned* number = nullptr)
{
    bool ok = false;
    const unsigned n = name.chopped(kPageSuffix.size()).toUInt(&ok);
    if (ok && number)
        *number = n;
    return ok && name.endsWith(kPageSuffix);
}

// The help context numbers the sources give, by the kind of place they were found in.
std::map<std::string, std::set<unsigned>> scanContextNumbers(const QString& sourceRoot)
{
    const QString number = QStringLiteral("(\\d+)");
    const std::pair<const char*, QRegularExpression> singles[] = {
        // attachHelp(control, 62); describeSpin(spin, hint, 64); — the number is the last argument.
        {"attachHelp", QRegularExpression(QStringLiteral("\\b(?:attachHelp|describeSpin)\\s*\\([^;]*?,\\s*") + number +
                                          QStringLiteral("\\s*\\)\\s*;"))},
        {"HELP_CONTEXT", QRegularExpression(QStringLiteral("\\bHELP_CONTEXT\\s*,\\s*") + number)},
        {"Topic constant", QRegularExpression(QStringLiteral("\\bk\\w*Topic\\s*=\\s*") + number)},
    };
    const QRegularExpression pageTopics(QStringLiteral("\\bkPageTopics\\s*\\{([^}]*)\\}"));
    const QRegularExpression helpContexts(QStringLiteral("\\bsetHelpContexts\\s*\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*\\)"));
    const QRegularExpression anyNumber(QStringLiteral("\\d+"));

    std::map<std::string, std::set<unsigned>> found;
    QDirIterator it(sourceRoot, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString text = readFile(it.next());
        for (const auto& [kind, re] : singles)
            for (auto m = re.globalMatch(text); m.hasNext();)
                found[kind].insert(m.next().captured(1).toUInt());
        for (auto m = pageTopics.globalMatch(text); m.hasNext();) {
            const QString list = m.next().captured(1);
            for (auto n = anyNumber.globalMatch(list); n.hasNext();)
                found["kPageTopics"].insert(n.next().captured(0).toUInt());
        }
        for (auto m = helpContexts.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            for (int i = 1; i <= 3; ++i)
                found["setHelpContexts"].insert(match.captured(i).toUInt());
        }
    }
    return found;
}

// The numbers the program opens today, as collected from its windows: the tray icon, the
// list editor's tool bars and list, the two add dialogs, the dialog's pages and their controls.
std::set<unsigned> knownContextNumbers()
{
    std::set<unsigned> known = {9, 18, 19, 23, 24, 25, 27, 29, 30, 102, 103, 104, 106, 107, 108};
    for (unsigned n = 62; n <= 76; ++n)
        known.insert(n);
    for (unsigned n = 78; n <= 89; ++n)
        known.insert(n);
    for (unsigned n : {109u, 110u, 111u, 112u, 114u, 115u, 116u})
        known.insert(n);
    return known;
}

// The first block of text after the title: what a pop-up shows of a page.
QTextBlock firstParagraph(const QTextDocument& page)
{
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() == 0 && !block.text().trimmed().isEmpty())
            return block;
    return {};
}

struct Anchor {
    QString href;
    QString text;
};

std::vector<Anchor> linksOf(const QTextDocument& page)
{
    std::vector<Anchor> links;
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isAnchor() && !f.anchorHref().isEmpty())
                links.push_back({f.anchorHref(), it.fragment().text()});
        }
    return links;
}

// The anchor names the browser can scroll to, as the document holds them.
QSet<QString> anchorNamesOf(const QTextDocument& page)
{
    QSet<QString> names;
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString& n : it.fragment().charFormat().anchorNames())
                names.insert(n);
    return names;
}

}  // namespace

TEST(HelpCoverage, EveryContextNumberInTheSourcesHasItsPage)
{
    const auto found = scanContextNumbers(QStringLiteral(RENVO_SOURCE_DIR "/src"));
    std::set<unsigned> scanned;
    for (const auto& [kind, numbers] : found)
        scanned.insert(numbers.begin(), numbers.end());
    ASSERT_FALSE(scanned.empty()) << "no help context numbers found under " RENVO_SOURCE_DIR "/src";
    // Each way of giving a number is in use; finding none means the scan no longer reads it.
    for (const char* kind : {"attachHelp", "Topic constant", "kPageTopics", "setHelpContexts"})
        EXPECT_FALSE(found.count(kind) == 0 || found.at(kind).empty()) << "no numbers given by " << kind;
    EXPECT_EQ(found.count("kPageTopics") ? found.at("kPageTopics").size() : 0u, 5u) << "the dialog has five pages";

    const std::set<unsigned> known = knownContextNumbers();
    for (unsigned n : known)
        EXPECT_TRUE(scanned.count(n)) << "context " << n << " is no longer used by the code, or the scan misses it";

    std::set<unsigned> wanted = scanned;
    wanted.insert(known.begin(), known.end());
    for (unsigned n : wanted) {
        const QString name = QString::number(n) + kPageSuffix;
        ASSERT_TRUE(QFile::exists(HelpWindow::pageResource(name))) << "no page for context " << n;
        EXPECT_FALSE(HelpWindow::contextPopupText(n).isEmpty()) << "no pop-up text for context " << n;
    }

    // A numbered page nobody opens is a topic that lost its control.
    for (const QString& name : resourcePages()) {
        unsigned n = 0;
        if (isTopicPage(name, &n)) {
            EXPECT_TRUE(scanned.count(n)) << name.toStdString() << " is opened by no window";
        }
    }
}

TEST(HelpCoverage, ResourcesHoldExactlyThePagesOfTheSourceTree)
{
    const QDir folder(QStringLiteral(RENVO_SOURCE_DIR "/src/guikit/help"));
    const QStringList onDisk = folder.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(onDisk.isEmpty()) << folder.path().toStdString();
    const QStringList inResources = resourcePages();
    for (const QString& name : onDisk) {
        EXPECT_TRUE(inResources.contains(name)) << name.toStdString() << " is missing from help.qrc";
        if (inResources.contains(name)) {
            EXPECT_EQ(pageHtml(name), readFile(folder.filePath(name))) << name.toStdString();
        }
    }
    for (const QString& name : inResources)
        EXPECT_TRUE(onDisk.contains(name)) << name.toStdString() << " has no file in the source tree";
}

TEST(HelpCoverage, EveryLinkAndAnchorResolvesWithinTheHelp)
{
    const QStringList pages = resourcePages();
    ASSERT_GT(pages.size(), 3);
    std::map<QString, QSet<QString>> anchors;
    for (const QString& name : pages) {
        QTextDocument doc;
        doc.setHtml(pageHtml(name));
        anchors[name] = anchorNamesOf(doc);
    }
    int followed = 0;
    int withFragment = 0;
    for (const QString& name : pages) {
        const QString html = pageHtml(name);
        // Pages are self-contained: the browser fetches nothing and runs nothing.
        for (const char* banned : {"<script", "<img", "src=", "http:", "https:", "@import", "url("})
            EXPECT_FALSE(html.contains(QLatin1String(banned), Qt::CaseInsensitive)) << name.toStdString() << ": " << banned;
        EXPECT_TRUE(html.contains(QStringLiteral("<meta charset=\"utf-8\">"))) << name.toStdString();

        QTextDocument doc;
        doc.setHtml(html);
        for (const Anchor& link : linksOf(doc)) {
            const QUrl url(link.href);
            const std::string where = name.toStdString() + ": " + link.href.toStdString();
            EXPECT_TRUE(url.isRelative() && url.scheme().isEmpty()) << where;
            EXPECT_FALSE(link.text.trimmed().isEmpty()) << where;
            const QUrl target = QUrl(QStringLiteral("qrc:/help/") + name).resolved(url);
            const QString targetName = target.path().section(QChar('/'), -1);
            ASSERT_TRUE(target.path().startsWith(QStringLiteral("/help/"))) << where;
            ASSERT_TRUE(anchors.count(targetName)) << where;
            if (target.hasFragment()) {
                ++withFragment;
                EXPECT_TRUE(anchors[targetName].contains(target.fragment())) << where << " has no such anchor";
            }
            ++followed;
        }
    }
    EXPECT_GT(followed, pages.size());
    EXPECT_GT(withFragment, 0) << "the anchor check checked nothing";
}

TEST(HelpCoverage, EveryPageOpensWithATitleAndAParagraphThatStandsAlone)
{
    const QRegularExpression title(QStringLiteral("<title>(.*?)</title>"));
    const QRegularExpression heading(QStringLiteral("<h1>(.*?)</h1>"));
    for (const QString& name : resourcePages()) {
        const std::string where = name.toStdString();
        const QString html = pageHtml(name);
        const auto t = title.match(html);
        const auto h = heading.match(html);
        ASSERT_TRUE(t.hasMatch() && h.hasMatch()) << where;
        if (name != QStringLiteral("contents.html")) {
            EXPECT_EQ(t.captured(1), h.captured(1)) << where;
        }

        QTextDocument doc;
        doc.setHtml(html);
        ASSERT_EQ(doc.begin().blockFormat().headingLevel(), 1) << where << ": the title comes first";
        const QTextBlock first = firstParagraph(doc);
        ASSERT_TRUE(first.isValid()) << where;
        const QString text = first.text().trimmed();
        // A pop-up shows this block alone: a plain paragraph of one or two sentences.
        EXPECT_EQ(first.textList(), nullptr) << where;
        EXPECT_EQ(QTextCursor(first).currentTable(), nullptr) << where;
        EXPECT_TRUE(text.endsWith(QChar(0x3002))) << where << ": " << text.toStdString();
        EXPECT_LE(text.count(QChar(0x3002)), 2) << where << ": " << text.toStdString();

        unsigned n = 0;
        if (isTopicPage(name, &n)) {
            EXPECT_EQ(HelpWindow::contextPopupText(n), text) << where;
        }
    }
}

TEST(HelpCoverage, TheIndexLeadsToEveryTermAndWindow)
{
    QTextDocument index;
    index.setHtml(pageHtml(QStringLiteral("index.html")));
    QSet<QString> targets;
    QStringList keywords;
    for (QTextBlock block = index.begin(); block.isValid(); block = block.next()) {
        if (!block.textList())
            continue;
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor()) {
                targets.insert(QUrl(it.fragment().charFormat().anchorHref()).path());
                keywords << it.fragment().text().trimmed();
            }
    }
    const QSet<QString> distinct(keywords.begin(), keywords.end());
    EXPECT_EQ(distinct.size(), keywords.size()) << "a keyword is listed twice";
    for (const QString& name : resourcePages()) {
        const bool term = name.startsWith(QStringLiteral("term-"));
        const bool window = name == QStringLiteral("listeditor.html") || name == QStringLiteral("9.html") ||
                            name == QStringLiteral("23.html") || name == QStringLiteral("27.html") ||
                            name == QStringLiteral("29.html") || name == QStringLiteral("30.html") ||
                            name == QStringLiteral("102.html");
        if (term || window) {
            EXPECT_TRUE(targets.contains(name)) << name.toStdString() << " has no keyword";
        }
    }
}
