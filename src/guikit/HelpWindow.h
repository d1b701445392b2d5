#pragma once
// The help window: the program's help pages from the Qt resources under :/help, one page per
// context number (":/help/<n>.html") besides the contents, the keyword index and the page on
// using help. Callers ask for pages by the old help commands and their numbers.
//
// One window per process: the main form owns it and hands it to every window that offers
// help, so a second request shows the same window rather than a new one. Closed, it tells
// its owner, which lets it go until help is asked for again.

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

class QCloseEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTextBrowser;

namespace renvo {

// The commands of showHelp, by their old numbers.
enum HelpCommand : unsigned {
    HELP_CONTEXT = 1,     // the topic with the number in data
    HELP_HELPONHELP = 4,  // how to use help
    HELP_FINDER = 11,     // the contents
    HELP_KEY = 257,       // the keyword index
};

inline constexpr char kHelpWindowTitle[] = "Renvo ヘルプ";

class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);
    ~HelpWindow() override;

    // Shows the window with the page the command asks for, in front. A context number without
    // a page, or a command not known, shows the contents (saying which topic is missing).
    void showHelp(unsigned command, unsigned data);
    // The first paragraph of a topic, for What's This; empty for a number without a page.
    static QString contextPopupText(unsigned context);

    // The page shown (a qrc: address).
    QUrl currentPage() const;
    // What the keyword list holds now: every keyword, or those with the text searched for.
    QStringList shownKeywords() const;

    // The resource of a page by its file name, for example ":/help/9.html".
    static QString pageResource(const QString& name);

    QLabel* lblNotice;  // above the page: a topic asked for that has no page
    QTextBrowser* browser;
    QLineEdit* edtSearch;     // filters the keyword list as it is typed
    QListWidget* lstKeywords;  // Enter or a double click opens the keyword's topic

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Keyword {
        QString text;
        QUrl page;
    };
    void showPage(const QString& name);
    void filterKeywords(const QString& text);
    void openKeyword(QListWidgetItem* item);
    void bringToFront();

    QList<Keyword> keywords_;
};

}  // namespace renvo
