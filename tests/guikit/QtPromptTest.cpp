// The Qt message boxes and choosers as the user meets them: each is found on screen while the
// prompt waits, looked at, and answered with the keys and buttons a user would use.

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "guikit/AppStart.h"
#include "guikit/QtPrompt.h"

using namespace renvo;

Q_DECLARE_METATYPE(renvo::PromptButtons)
Q_DECLARE_METATYPE(renvo::PromptAnswer)
Q_DECLARE_METATYPE(renvo::PromptIcon)

namespace {

// What the box showed when it came up.
struct Seen {
    bool found = false;
    QString title;
    QString text;
    Qt::TextFormat textFormat = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList labels;  // sorted: their order is the desktop's
    QString defaultLabel;
    QString focusLabel;
    QString informativeText;
    QString informativeShown;  // what the informative label displays
    Qt::TextFormat informativeFormat = Qt::AutoText;
    QWidget* parent = nullptr;
    bool modal = false;
};

QString labelOf(QWidget* w)
{
    auto* button = qobject_cast<QAbstractButton*>(w);
    return button ? button->text() : QString();
}

Seen describe(QMessageBox* box)
{
    Seen s;
    s.found = true;
    s.title = box->windowTitle();
    s.text = box->text();
    s.textFormat = box->textFormat();
    s.icon = box->icon();
    for (QAbstractButton* b : box->buttons())
        s.labels << b->text();
    s.labels.sort();
    s.defaultLabel = labelOf(box->defaultButton());
    s.focusLabel = labelOf(box->focusWidget());
    s.informativeText = box->informativeText();
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        s.informativeShown = label->text();
        s.informativeFormat = label->textFormat();
    }
    s.parent = box->parentWidget();
    s.modal = box->isModal();
    return s;
}

// Keys go where a user's keys go: to the focused widget, from where the box gets what the
// button does not take.
QWidget* keyTarget(QMessageBox* box)
{
    return box->focusWidget() ? box->focusWidget() : box;
}

QAbstractButton* buttonLabelled(QMessageBox* box, const QString& label)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == label)
            return b;
    return nullptr;
}

using Act = std::function<void(QMessageBox*)>;

// Asks, and once the box is up describes it and acts on it. The box's own event loop runs the
// timer; a box that never turns up is closed so that the test fails instead of hanging.
Seen askAndAct(const PromptMessage& message, const Act& act, PromptAnswer& answer)
{
    Seen seen;
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (++tries > 300) {
                poll.stop();
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* stray = qobject_cast<QMessageBox*>(w))
                        stray->done(0);
            }
            return;
        }
        poll.stop();
        seen = describe(box);
        act(box);
    });
    poll.start(10);
    QtPrompt prompt;
    answer = prompt.ask(message);
    return seen;
}

const QString kYes = QStringLiteral("はい(&Y)");
const QString kNo = QStringLiteral("いいえ(&N)");
const QString kOk = QStringLiteral("OK");
const QString kCancel = QStringLiteral("キャンセル");
const QString kAll = QStringLiteral("すべて(&A)");

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

// What the chooser showed when it came up.
struct SeenChooser {
    bool found = false;
    QString title;
    QString folder;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool dirsOnly = false;
    QStringList filters;
    QWidget* parent = nullptr;
    bool modal = false;
};

using ChooserAct = std::function<void(QFileDialog*)>;

// Runs the chooser and, once its dialog is up, describes it and acts on it; a dialog that never
// turns up, or one the act leaves open, is cancelled so that the test fails instead of hanging.
template <class Choose>
SeenChooser chooseAndAct(const ChooserAct& act, Choose choose)
{
    SeenChooser seen;
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++tries > 300) {
                poll.stop();
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* stray = qobject_cast<QFileDialog*>(w))
                        stray->reject();
            }
            return;
        }
        poll.stop();
        seen.found = true;
        seen.title = dialog->windowTitle();
        seen.folder = dialog->directory().absolutePath();
        seen.mode = dialog->fileMode();
        seen.dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        seen.filters = dialog->nameFilters();
        seen.parent = dialog->parentWidget();
        seen.modal = dialog->isModal();
        act(dialog);
        QTimer::singleShot(2000, dialog, [dialog] { dialog->reject(); });
    });
    poll.start(10);
    choose();
    return seen;
}

// Key presses carrying the characters, Japanese ones too (keyClicks takes Latin-1 only).
void typeText(QWidget* target, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Types into the file name field and presses Enter, as a user does.
void typeAndEnter(QFileDialog* dialog, const QString& text)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit)
        return;
    edit->clear();
    // A list of quoted names is pasted: a quote typed first into the empty field is lost on
    // the offscreen platform.
    if (text.startsWith(QChar('"')))
        edit->setText(text);
    else
        typeText(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void makeFile(const QString& path)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("x");
}

}  // namespace

class QtPromptTest : public QObject {
    Q_OBJECT

private slots:
    void engineTextsConvertBothWays();
    void boxShowsCaptionTextAndIcon_data();
    void boxShowsCaptionTextAndIcon();
    void buttonsDefaultsAndAnswers_data();
    void buttonsDefaultsAndAnswers();
    void ownerBecomesTheParent();
    void detailIsShownAsPlainInformativeText();
    void fileChooserStartsWhereAskedAndAnswersTheTypedFile();
    void choosersTakeNewNamesOnlyWhenAllowed_data();
    void choosersTakeNewNamesOnlyWhenAllowed();
    void choosersSpeakJapanese();
    void filesChooserAnswersEveryFile();
    void choosersCancelledAnswerNothing();
    void folderChooserAnswersWithoutDelimiter();
};

void QtPromptTest::engineTextsConvertBothWays()
{
    const std::string engine = "一行目\r\n\r\n二行目 'C:/x'";
    const QString shown = fromEngineText(engine);
    QCOMPARE(shown, QStringLiteral("一行目\n\n二行目 'C:/x'"));
    QCOMPARE(toEngineText(shown), engine);

    // A path or a name passes with every character, also outside the Basic Multilingual Plane.
    const std::string path = "/home/me/ミラー/\xF0\x9F\x93\x81 a\tb.txt";
    QCOMPARE(fromEngineText(path).toStdString(), path);
    QCOMPARE(toEngineText(QString::fromStdString(path)), path);

    // A lone LF from a widget becomes the engine's CR LF; a lone CR is no line break.
    QCOMPARE(toEngineText(QStringLiteral("a\nb\r\nc\rd")), std::string("a\r\nb\r\nc\rd"));
    QCOMPARE(fromEngineText("a\rb\n"), QStringLiteral("a\rb\n"));
    QCOMPARE(toEngineText(QString()), std::string());
}

void QtPromptTest::boxShowsCaptionTextAndIcon_data()
{
    QTest::addColumn<PromptIcon>("icon");
    QTest::addColumn<int>("shownIcon");
    QTest::newRow("information") << PromptIcon::Information << int(QMessageBox::Information);
    QTest::newRow("warning") << PromptIcon::Warning << int(QMessageBox::Warning);
    QTest::newRow("error") << PromptIcon::Error << int(QMessageBox::Critical);
    QTest::newRow("question") << PromptIcon::Question << int(QMessageBox::Question);
    QTest::newRow("none") << PromptIcon::None << int(QMessageBox::NoIcon);
}

void QtPromptTest::boxShowsCaptionTextAndIcon()
{
    QFETCH(PromptIcon, icon);
    QFETCH(int, shownIcon);
    // A text that looks like markup is still shown as written.
    const PromptMessage m{"ミラーリング中",
                          "現在ミラーリング中です\r\n<b>現在の操作</b>は，作業が完了するまで受け付けられません",
                          icon, PromptButtons::Ok, PromptAnswer::Ok, nullptr, {}};
    PromptAnswer answer = PromptAnswer::Cancel;
    const Seen s = askAndAct(m, [](QMessageBox* box) { QTest::keyClick(keyTarget(box), Qt::Key_Escape); }, answer);
    QVERIFY(s.found);
    QCOMPARE(s.title, QStringLiteral("ミラーリング中"));
    QCOMPARE(s.text, QStringLiteral("現在ミラーリング中です\n<b>現在の操作</b>は，作業が完了するまで受け付けられません"));
    QCOMPARE(s.textFormat, Qt::PlainText);
    QCOMPARE(int(s.icon), shownIcon);
    QVERIFY(s.modal);
    QCOMPARE(s.parent, nullptr);
    QVERIFY(s.informativeText.isEmpty());
    QCOMPARE(answer, PromptAnswer::Ok);
}

void QtPromptTest::buttonsDefaultsAndAnswers_data()
{
    QTest::addColumn<PromptButtons>("buttons");
    QTest::addColumn<PromptAnswer>("defaultButton");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("defaultLabel");
    QTest::addColumn<QString>("action");  // escape, close, return, click:<label>, key:<letter>, alt:<letter>
    QTest::addColumn<PromptAnswer>("answer");

    using B = PromptButtons;
    using A = PromptAnswer;
    const QStringList ok{kOk}, okCancel{kOk, kCancel}, yesNo{kYes, kNo}, yesNoCancel{kYes, kNo, kCancel},
        yesNoAll{kYes, kNo, kAll};

    QTest::newRow("ok escape") << B::Ok << A::Ok << ok << kOk << "escape" << A::Ok;
    QTest::newRow("ok close") << B::Ok << A::Ok << ok << kOk << "close" << A::Ok;
    QTest::newRow("ok return") << B::Ok << A::Ok << ok << kOk << "return" << A::Ok;

    QTest::newRow("yes/no default no: escape") << B::YesNo << A::No << yesNo << kNo << "escape" << A::No;
    QTest::newRow("yes/no default no: close") << B::YesNo << A::No << yesNo << kNo << "close" << A::No;
    QTest::newRow("yes/no default no: return") << B::YesNo << A::No << yesNo << kNo << "return" << A::No;
    QTest::newRow("yes/no default no: click yes") << B::YesNo << A::No << yesNo << kNo << "click:" + kYes << A::Yes;
    QTest::newRow("yes/no default no: key Y") << B::YesNo << A::No << yesNo << kNo << "key:Y" << A::Yes;
    QTest::newRow("yes/no default no: Alt+Y") << B::YesNo << A::No << yesNo << kNo << "alt:Y" << A::Yes;
    QTest::newRow("yes/no default yes: escape") << B::YesNo << A::Yes << yesNo << kYes << "escape" << A::No;
    QTest::newRow("yes/no default yes: return") << B::YesNo << A::Yes << yesNo << kYes << "return" << A::Yes;
    QTest::newRow("yes/no default yes: key N") << B::YesNo << A::Yes << yesNo << kYes << "key:N" << A::No;
    QTest::newRow("yes/no default yes: click no") << B::YesNo << A::Yes << yesNo << kYes << "click:" + kNo << A::No;
    // No default named: the first button, as a message box does.
    QTest::newRow("yes/no no default named") << B::YesNo << A::Ok << yesNo << kYes << "return" << A::Yes;

    QTest::newRow("ok/cancel escape") << B::OkCancel << A::Ok << okCancel << kOk << "escape" << A::Cancel;
    QTest::newRow("ok/cancel close") << B::OkCancel << A::Ok << okCancel << kOk << "close" << A::Cancel;
    QTest::newRow("ok/cancel return") << B::OkCancel << A::Ok << okCancel << kOk << "return" << A::Ok;
    QTest::newRow("ok/cancel default cancel") << B::OkCancel << A::Cancel << okCancel << kCancel << "return"
                                              << A::Cancel;
    QTest::newRow("ok/cancel click ok") << B::OkCancel << A::Cancel << okCancel << kCancel << "click:" + kOk
                                        << A::Ok;

    QTest::newRow("yes/no/cancel escape") << B::YesNoCancel << A::Yes << yesNoCancel << kYes << "escape"
                                          << A::Cancel;
    QTest::newRow("yes/no/cancel close") << B::YesNoCancel << A::No << yesNoCancel << kNo << "close" << A::Cancel;
    QTest::newRow("yes/no/cancel return") << B::YesNoCancel << A::No << yesNoCancel << kNo << "return" << A::No;
    QTest::newRow("yes/no/cancel click cancel") << B::YesNoCancel << A::Yes << yesNoCancel << kYes
                                                << "click:" + kCancel << A::Cancel;

    QTest::newRow("yes/no/all escape") << B::YesNoAll << A::Yes << yesNoAll << kYes << "escape" << A::No;
    QTest::newRow("yes/no/all close") << B::YesNoAll << A::Yes << yesNoAll << kYes << "close" << A::No;
    QTest::newRow("yes/no/all return") << B::YesNoAll << A::Yes << yesNoAll << kYes << "return" << A::Yes;
    QTest::newRow("yes/no/all key A") << B::YesNoAll << A::Yes << yesNoAll << kYes << "key:A" << A::All;
    QTest::newRow("yes/no/all click all") << B::YesNoAll << A::Yes << yesNoAll << kYes << "click:" + kAll << A::All;
}

void QtPromptTest::buttonsDefaultsAndAnswers()
{
    QFETCH(PromptButtons, buttons);
    QFETCH(PromptAnswer, defaultButton);
    QFETCH(QStringList, labels);
    QFETCH(QString, defaultLabel);
    QFETCH(QString, action);
    QFETCH(PromptAnswer, answer);

    const PromptMessage m{"確認", "よろしいですか？", PromptIcon::Question, buttons, defaultButton, nullptr, {}};
    bool acted = false;
    const Act act = [&](QMessageBox* box) {
        if (action == "escape") {
            QTest::keyClick(keyTarget(box), Qt::Key_Escape);
        } else if (action == "close") {
            box->close();
        } else if (action == "return") {
            QTest::keyClick(keyTarget(box), Qt::Key_Return);
        } else if (action.startsWith("click:")) {
            QAbstractButton* b = buttonLabelled(box, action.mid(6));
            if (!b)
                return;
            QTest::mouseClick(b, Qt::LeftButton);
        } else if (action.startsWith("key:")) {
            QTest::keyClick(keyTarget(box), action.at(4).toLatin1());
        } else if (action.startsWith("alt:")) {
            QTest::keyClick(keyTarget(box), action.at(4).toLatin1(), Qt::AltModifier);
        } else {
            return;
        }
        acted = true;
    };
    PromptAnswer got = PromptAnswer::Ok;
    Seen s;
    // An action the box ignores leaves it open: close it then, and fail.
    const Act actOrClose = [&](QMessageBox* box) {
        act(box);
        if (!acted)
            box->done(0);
        else
            QTimer::singleShot(2000, box, [box] { box->done(0); });
    };
    s = askAndAct(m, actOrClose, got);
    QVERIFY(s.found);
    QVERIFY2(acted, qPrintable("no such action: " + action));
    QCOMPARE(s.labels, sorted(labels));
    QCOMPARE(s.defaultLabel, defaultLabel);
    // Enter presses the focused button: the default one has the focus when the box opens.
    QCOMPARE(s.focusLabel, defaultLabel);
    QCOMPARE(got, answer);
}

void QtPromptTest::ownerBecomesTheParent()
{
    QWidget owner;
    owner.setWindowTitle(QStringLiteral("Renvo"));
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    const PromptMessage m{"設定は無意味", "準拠指定にしますか？", PromptIcon::Question, PromptButtons::YesNo,
                          PromptAnswer::No, &owner, {}};
    PromptAnswer answer = PromptAnswer::Ok;
    const Seen s = askAndAct(m, [](QMessageBox* box) { QTest::mouseClick(buttonLabelled(box, kYes), Qt::LeftButton); },
                             answer);
    QVERIFY(s.found);
    QCOMPARE(s.parent, &owner);
    QVERIFY(s.modal);
    QCOMPARE(answer, PromptAnswer::Yes);
    // The box is gone with the answer; the owner stays.
    QVERIFY(owner.findChildren<QMessageBox*>().isEmpty());
    QVERIFY(owner.isVisible());
}

void QtPromptTest::detailIsShownAsPlainInformativeText()
{
    const std::string detail = "/home/me/<b>ミラー</b>/a.txt";
    const PromptMessage m{"ファイルオープンエラー", "例外 EFOpenError が発生しました", PromptIcon::Error,
                          PromptButtons::Ok, PromptAnswer::Ok, nullptr, detail};
    PromptAnswer answer = PromptAnswer::Cancel;
    const Seen s = askAndAct(m, [](QMessageBox* box) { QTest::keyClick(keyTarget(box), Qt::Key_Return); }, answer);
    QVERIFY(s.found);
    QCOMPARE(s.informativeText, QString::fromStdString(detail));
    QCOMPARE(s.informativeShown, QString::fromStdString(detail));
    QCOMPARE(s.informativeFormat, Qt::PlainText);
    QCOMPARE(s.text, QStringLiteral("例外 EFOpenError が発生しました"));
    QCOMPARE(answer, PromptAnswer::Ok);
}

void QtPromptTest::fileChooserStartsWhereAskedAndAnswersTheTypedFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = QStringLiteral("リスト 1.txt");
    makeFile(dir.filePath(name));
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    std::optional<std::string> chosen;
    const FileChoice choice{"リストファイルを開く", dir.path().toStdString(), "すべてのファイル (*)", &owner};
    const SeenChooser s = chooseAndAct([&](QFileDialog* d) { typeAndEnter(d, name); },
                                       [&] { chosen = QtPrompt().chooseFile(choice); });
    QVERIFY(s.found);
    QCOMPARE(s.title, QStringLiteral("リストファイルを開く"));
    QCOMPARE(s.folder, QDir(dir.path()).absolutePath());
    QCOMPARE(s.mode, QFileDialog::ExistingFile);
    QCOMPARE(s.filters, QStringList{QStringLiteral("すべてのファイル (*)")});
    QCOMPARE(s.parent, &owner);
    QVERIFY(s.modal);
    QVERIFY(chosen.has_value());
    QCOMPARE(QString::fromStdString(*chosen), QDir(dir.path()).absoluteFilePath(name));
}

void QtPromptTest::choosersTakeNewNamesOnlyWhenAllowed_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("mayBeNew");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("taken");
    // Present in the folder the choosers start in: a file "有る.txt" and a folder "有る".
    QTest::newRow("file, existing only, missing") << false << false << QStringLiteral("無い.txt") << false;
    QTest::newRow("file, may be new, missing") << false << true << QStringLiteral("無い.txt") << true;
    QTest::newRow("file, may be new, existing") << false << true << QStringLiteral("有る.txt") << true;
    QTest::newRow("folder, existing only, missing") << true << false << QStringLiteral("無い") << false;
    QTest::newRow("folder, may be new, missing levels") << true << true << QStringLiteral("無い/下") << true;
    QTest::newRow("folder, may be new, existing") << true << true << QStringLiteral("有る") << true;
}

void QtPromptTest::choosersTakeNewNamesOnlyWhenAllowed()
{
    QFETCH(bool, folder);
    QFETCH(bool, mayBeNew);
    QFETCH(QString, typed);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeFile(dir.filePath(QStringLiteral("有る.txt")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("有る")));
    const std::string start = dir.path().toStdString();

    // A refused name gets a box inside the chooser, which stays open.
    bool refused = false;
    std::optional<std::string> chosen = "unset";
    const SeenChooser s = chooseAndAct(
        [&](QFileDialog* d) {
            QTimer::singleShot(0, d, [&, d] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                refused = box != nullptr && d->isVisible();
                if (box)
                    box->done(0);
                if (d->isVisible())
                    d->reject();
            });
            // Set, not typed: the completer's list of the matching names would take the Enter.
            auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit != nullptr);
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        },
        [&] {
            chosen = folder ? QtPrompt().chooseFolder({"参照", start, nullptr, mayBeNew})
                            : QtPrompt().chooseFile({"開く", start, "", nullptr, mayBeNew});
        });
    QVERIFY(s.found);
    QCOMPARE(refused, !taken);
    if (taken) {
        QVERIFY(chosen.has_value());
        QCOMPARE(QString::fromStdString(*chosen), QDir(dir.path()).absoluteFilePath(typed));
    } else {
        QCOMPARE(chosen, std::nullopt);
    }
    // Choosing makes nothing: whether a new folder is made is the asker's question.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 2);
}

void QtPromptTest::choosersSpeakJapanese()
{
    // Before any chooser: Qt's texts are installed once, as the programs do at their start.
    QVERIFY(installQtJapanese(*qApp));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Each text as Qt writes it, and what the chooser shows in its place.
    struct Text {
        const char* context;
        const char* source;
        QString shown;
    };
    std::vector<Text> texts = {{"QFileDialog", "Look in:", {}},
                               {"QFileDialog", "Directory:", {}},
                               {"QFileDialog", "&Choose", {}},
                               {"QPlatformTheme", "Cancel", {}},
                               {"QFileDialog", "%1\nDirectory not found.\nPlease verify the correct directory name was given.", {}}};
    const SeenChooser s = chooseAndAct(
        [&](QFileDialog* d) {
            auto labelText = [d](const char* name) {
                auto* label = d->findChild<QLabel*>(QString::fromLatin1(name));
                return label ? label->text() : QStringLiteral("(no %1)").arg(QString::fromLatin1(name));
            };
            texts[0].shown = labelText("lookInLabel");
            texts[1].shown = labelText("fileNameLabel");
            if (auto* box = d->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
                if (QAbstractButton* b = box->button(QDialogButtonBox::Open))
                    texts[2].shown = b->text();
                if (QAbstractButton* b = box->button(QDialogButtonBox::Cancel))
                    texts[3].shown = b->text();
            }
            QTimer::singleShot(0, d, [&, d] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    texts[4].shown = box->text().replace(QStringLiteral("無い"), QStringLiteral("%1"));
                    box->done(0);
                }
                d->reject();
            });
            typeAndEnter(d, QStringLiteral("無い"));
        },
        [&] { QtPrompt().chooseFolder({"ディレクトリの選択", dir.path().toStdString(), nullptr}); });
    QVERIFY(s.found);
    for (const Text& t : texts) {
        const QString english = QString::fromLatin1(t.source);
        const QString japanese = QCoreApplication::translate(t.context, t.source);
        QVERIFY2(japanese != english, t.source);
        QCOMPARE(t.shown, japanese);
    }
}

void QtPromptTest::filesChooserAnswersEveryFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeFile(dir.filePath(QStringLiteral("a b.txt")));
    makeFile(dir.filePath(QStringLiteral("ミラー.dat")));
    std::optional<std::vector<std::string>> chosen;
    const SeenChooser s = chooseAndAct(
        [&](QFileDialog* d) { typeAndEnter(d, QStringLiteral("\"a b.txt\" \"ミラー.dat\"")); },
        [&] { chosen = QtPrompt().chooseFiles({"ファイルの追加", dir.path().toStdString(), "", nullptr}); });
    QVERIFY(s.found);
    QCOMPARE(s.mode, QFileDialog::ExistingFiles);
    QVERIFY(chosen.has_value());
    QStringList got;
    for (const std::string& p : *chosen)
        got << QString::fromStdString(p);
    QCOMPARE(sorted(got), sorted({QDir(dir.path()).absoluteFilePath(QStringLiteral("a b.txt")),
                                  QDir(dir.path()).absoluteFilePath(QStringLiteral("ミラー.dat"))}));
}

void QtPromptTest::choosersCancelledAnswerNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeFile(dir.filePath(QStringLiteral("a.txt")));
    const std::string folder = dir.path().toStdString();
    // Escape, as a user cancels; a name typed but not confirmed does not count.
    const ChooserAct escape = [](QFileDialog* d) {
        if (auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            typeText(edit, QStringLiteral("a.txt"));
        QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Escape);
    };
    std::optional<std::string> file = "unset";
    QVERIFY(chooseAndAct(escape, [&] { file = QtPrompt().chooseFile({"開く", folder, "", nullptr}); }).found);
    QCOMPARE(file, std::nullopt);

    std::optional<std::vector<std::string>> files = std::vector<std::string>{"unset"};
    QVERIFY(chooseAndAct(escape, [&] { files = QtPrompt().chooseFiles({"追加", folder, "", nullptr}); }).found);
    QCOMPARE(files, std::nullopt);

    std::optional<std::string> chosenFolder = "unset";
    QVERIFY(chooseAndAct([](QFileDialog* d) { d->close(); },
                         [&] { chosenFolder = QtPrompt().chooseFolder({"フォルダの参照", folder, nullptr}); })
                .found);
    QCOMPARE(chosenFolder, std::nullopt);
}

void QtPromptTest::folderChooserAnswersWithoutDelimiter()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ミラー先")));
    std::optional<std::string> chosen;
    const SeenChooser s = chooseAndAct([](QFileDialog* d) { typeAndEnter(d, QStringLiteral("ミラー先/")); }, [&] {
        chosen = QtPrompt().chooseFolder({"ミラー先フォルダ", dir.path().toStdString(), nullptr});
    });
    QVERIFY(s.found);
    QCOMPARE(s.title, QStringLiteral("ミラー先フォルダ"));
    QCOMPARE(s.mode, QFileDialog::Directory);
    QVERIFY(s.dirsOnly);
    QCOMPARE(s.parent, nullptr);
    QVERIFY(chosen.has_value());
    QCOMPARE(QString::fromStdString(*chosen), QDir(dir.path()).absoluteFilePath(QStringLiteral("ミラー先")));

    // The root is the one folder named with its delimiter.
    chosen.reset();
    QVERIFY(chooseAndAct([](QFileDialog* d) { typeAndEnter(d, QStringLiteral("/")); },
                         [&] { chosen = QtPrompt().chooseFolder({"参照", dir.path().toStdString(), nullptr}); })
                .found);
    QCOMPARE(chosen, std::optional<std::string>("/"));
}

QTEST_MAIN(QtPromptTest)
#include "QtPromptTest.moc"
