#include "guikit/QtPrompt.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace renvo {

QString fromEngineText(const std::string& text)
{
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string toEngineText(const QString& text)
{
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\n'), QStringLiteral("\r\n"));
    return crlf.toStdString();
}

namespace {

QMessageBox::Icon boxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonLook {
    PromptAnswer answer;
    const char* label;
    QMessageBox::ButtonRole role;
};

// Labels as the Japanese system writes them. The roles put the buttons in the system's order
// and let the window manager's close count as the escape button.
ButtonLook buttonLook(PromptAnswer answer)
{
    switch (answer) {
    case PromptAnswer::Ok:
        return {answer, "OK", QMessageBox::AcceptRole};
    case PromptAnswer::Cancel:
        return {answer, "キャンセル", QMessageBox::RejectRole};
    case PromptAnswer::Yes:
        return {answer, "はい(&Y)", QMessageBox::YesRole};
    case PromptAnswer::No:
        return {answer, "いいえ(&N)", QMessageBox::NoRole};
    case PromptAnswer::All:
        return {answer, "すべて(&A)", QMessageBox::ActionRole};
    }
    return {answer, "OK", QMessageBox::AcceptRole};
}

std::vector<PromptAnswer> answersOf(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::Ok:
        return {PromptAnswer::Ok};
    case PromptButtons::OkCancel:
        return {PromptAnswer::Ok, PromptAnswer::Cancel};
    case PromptButtons::YesNo:
        return {PromptAnswer::Yes, PromptAnswer::No};
    case PromptButtons::YesNoCancel:
        return {PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::Cancel};
    case PromptButtons::YesNoAll:
        return {PromptAnswer::Yes, PromptAnswer::No, PromptAnswer::All};
    }
    return {PromptAnswer::Ok};
}

// The owner is only ever a QWidget, handed through the toolkit-free interface.
QWidget* ownerWidget(const void* owner)
{
    return static_cast<QWidget*>(const_cast<void*>(owner));
}

// Qt's chooser, except that with newFolder set a folder name that does not exist is taken as
// typed: Qt's folder mode refuses it with "directory not found".
class Chooser : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    bool newFolder = false;

    void accept() override
    {
        const QStringList typed = selectedFiles();
        if (newFolder && typed.size() == 1 && !QFileInfo::exists(typed.front())) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

// The chooser's answer, or an empty list when it was cancelled.
QStringList runChooser(QFileDialog::FileMode mode, bool mayBeNew, const std::string& caption,
                       const std::string& folder, const std::string& filter, const void* owner)
{
    Chooser dialog(ownerWidget(owner), fromEngineText(caption), QString::fromStdString(folder));
    // Qt's own chooser on every desktop: it speaks the program's language (Qt's Japanese texts)
    // and keeps the modes' rules, where a desktop's own chooser follows the desktop's.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (mode == QFileDialog::Directory) {
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.newFolder = mayBeNew;
    } else if (!filter.empty()) {
        dialog.setNameFilter(QString::fromStdString(filter));
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

}  // namespace

std::optional<std::string> QtPrompt::chooseFile(const FileChoice& choice)
{
    const QStringList files = runChooser(choice.mayBeNew ? QFileDialog::AnyFile : QFileDialog::ExistingFile,
                                         choice.mayBeNew, choice.caption, choice.folder, choice.filter, choice.owner);
    if (files.isEmpty())
        return std::nullopt;
    return files.front().toStdString();
}

std::optional<std::vector<std::string>> QtPrompt::chooseFiles(const FileChoice& choice)
{
    const QStringList files = runChooser(QFileDialog::ExistingFiles, false, choice.caption, choice.folder,
                                         choice.filter, choice.owner);
    if (files.isEmpty())
        return std::nullopt;
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(f.toStdString());
    return paths;
}

std::optional<std::string> QtPrompt::chooseFolder(const FolderChoice& choice)
{
    const QStringList folders =
        runChooser(QFileDialog::Directory, choice.mayBeNew, choice.caption, choice.folder, {}, choice.owner);
    if (folders.isEmpty())
        return std::nullopt;
    QString folder = folders.front();
    // The root keeps its one delimiter; every other folder is named without one.
    while (folder.size() > 1 && folder.endsWith(QChar('/')))
        folder.chop(1);
    return folder.toStdString();
}

PromptAnswer QtPrompt::ask(const PromptMessage& message)
{
    QMessageBox box(ownerWidget(message.owner));
    box.setWindowTitle(fromEngineText(message.caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(fromEngineText(message.text));
    box.setIcon(boxIcon(message.icon));
    if (!message.detail.empty()) {
        box.setInformativeText(fromEngineText(message.detail));
        // The informative label guesses the format, and a file name may look like markup.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }

    const PromptAnswer defaultButton = defaultAnswer(message);
    const PromptAnswer escape = escapeAnswer(message.buttons);
    std::vector<std::pair<QAbstractButton*, PromptAnswer>> buttons;
    for (PromptAnswer answer : answersOf(message.buttons)) {
        const ButtonLook look = buttonLook(answer);
        QPushButton* button = box.addButton(QString::fromUtf8(look.label), look.role);
        buttons.emplace_back(button, answer);
        if (answer == defaultButton)
            box.setDefaultButton(button);
        if (answer == escape)
            box.setEscapeButton(button);
    }
    box.exec();

    for (const auto& [button, answer] : buttons)
        if (box.clickedButton() == button)
            return answer;
    return escape;
}

}  // namespace renvo
