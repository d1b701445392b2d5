#include "guikit/HelpWindow.h"

#include "guikit/RenvoApp.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTextList>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

// The pages live in the shell library, a static one: its resources are registered by hand.
static void registerHelpPages()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(help);
        return true;
    }();
    (void)registered;
}

namespace renvo {

namespace {

const QString kPageFolder = QStringLiteral("qrc:/help/");

QUrl pageUrl(const QString& name)
{
    return QUrl(kPageFolder + name);
}

QString readPage(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace

QString HelpWindow::pageResource(const QString& name)
{
    registerHelpPages();
    return QStringLiteral(":/help/") + name;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    registerHelpPages();
    setWindowTitle(QString::fromUtf8(kHelpWindowTitle));

    auto* keywordLabel = new QLabel(QStringLiteral("キーワード(&K):"), this);
    edtSearch = new QLineEdit(this);
    keywordLabel->setBuddy(edtSearch);
    lstKeywords = new QListWidget(this);
    auto* indexPane = new QWidget(this);
    auto* indexColumn = new QVBoxLayout(indexPane);
    indexColumn->setContentsMargins(0, 0, 0, 0);
    indexColumn->addWidget(keywordLabel);
    indexColumn->addWidget(edtSearch);
    indexColumn->addWidget(lstKeywords, 1);

    auto* contents = new QPushButton(QStringLiteral("目次(&C)"), this);
    auto* index = new QPushButton(QStringLiteral("索引(&I)"), this);
    auto* back = new QPushButton(QStringLiteral("戻る(&B)"), this);
    auto* forward = new QPushButton(QStringLiteral("進む(&F)"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {contents, index, back, forward}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    lblNotice = new QLabel(this);
    lblNotice->setTextFormat(Qt::PlainText);
    lblNotice->hide();
    browser = new QTextBrowser(this);
    browser->setOpenLinks(true);
    browser->setOpenExternalLinks(true);
    auto* pagePane = new QWidget(this);
    auto* pageColumn = new QVBoxLayout(pagePane);
    pageColumn->setContentsMargins(0, 0, 0, 0);
    pageColumn->addLayout(buttons);
    pageColumn->addWidget(lblNotice);
    pageColumn->addWidget(browser, 1);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(indexPane);
    splitter->addWidget(pagePane);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({180, 520});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(720, 520);

    connect(contents, &QPushButton::clicked, this, [this] { showHelp(HELP_FINDER, 0); });
    connect(index, &QPushButton::clicked, this, [this] { showHelp(HELP_KEY, 0); });
    connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    back->setEnabled(false);
    forward->setEnabled(false);
    // The notice is about the page it came with.
    connect(browser, &QTextBrowser::sourceChanged, lblNotice, &QLabel::hide);
    connect(edtSearch, &QLineEdit::textChanged, this, &HelpWindow::filterKeywords);
    connect(edtSearch, &QLineEdit::returnPressed, this, [this] { openKeyword(lstKeywords->currentItem()); });
    connect(lstKeywords, &QListWidget::itemActivated, this, &HelpWindow::openKeyword);

    // The keywords are the links in the index page's list, in its order; a link elsewhere on
    // the page (back to the contents) is none.
    QTextDocument indexPage;
    indexPage.setHtml(readPage(pageResource(QStringLiteral("index.html"))));
    const QUrl indexUrl = pageUrl(QStringLiteral("index.html"));
    for (QTextBlock block = indexPage.begin(); block.isValid(); block = block.next()) {
        if (!block.textList())
            continue;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                keywords_.push_back({it.fragment().text().trimmed(), indexUrl.resolved(QUrl(format.anchorHref()))});
        }
    }
    filterKeywords({});
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::showHelp(unsigned command, unsigned data)
{
    switch (command) {
    case HELP_CONTEXT: {
        const QString name = QString::number(data) + QStringLiteral(".html");
        if (QFile::exists(pageResource(name))) {
            showPage(name);
        } else {
            showPage(QStringLiteral("contents.html"));
            lblNotice->setText(QStringLiteral("ヘルプのトピック %1 はありません。目次から選んでください。").arg(data));
            lblNotice->show();
        }
        break;
    }
    case HELP_HELPONHELP:
        showPage(QStringLiteral("howto.html"));
        break;
    case HELP_KEY:
        showPage(QStringLiteral("index.html"));
        edtSearch->setFocus();
        edtSearch->selectAll();
        break;
    case HELP_FINDER:
    default:
        showPage(QStringLiteral("contents.html"));
        break;
    }
    bringToFront();
}

QString HelpWindow::contextPopupText(unsigned context)
{
    const QString html = readPage(pageResource(QString::number(context) + QStringLiteral(".html")));
    if (html.isEmpty())
        return {};
    QTextDocument page;
    page.setHtml(html);
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0)
            continue;
        const QString text = block.text().trimmed();
        if (!text.isEmpty())
            return text;
    }
    return {};
}

QUrl HelpWindow::currentPage() const
{
    return browser->source();
}

QStringList HelpWindow::shownKeywords() const
{
    QStringList shown;
    for (int i = 0; i < lstKeywords->count(); ++i)
        shown << lstKeywords->item(i)->text();
    return shown;
}

void HelpWindow::showPage(const QString& name)
{
    lblNotice->hide();
    browser->setSource(pageUrl(name));
}

void HelpWindow::filterKeywords(const QString& text)
{
    lstKeywords->clear();
    const QString wanted = text.trimmed();
    for (const Keyword& k : keywords_) {
        if (!wanted.isEmpty() && !k.text.contains(wanted, Qt::CaseInsensitive))
            continue;
        auto* item = new QListWidgetItem(k.text, lstKeywords);
        item->setData(Qt::UserRole, k.page);
    }
    if (lstKeywords->count() > 0)
        lstKeywords->setCurrentRow(0);
}

void HelpWindow::openKeyword(QListWidgetItem* item)
{
    if (!item)
        return;
    lblNotice->hide();
    browser->setSource(item->data(Qt::UserRole).toUrl());
}

void HelpWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void HelpWindow::bringToFront()
{
    renvo::bringToFront(this);
}

}  // namespace renvo
