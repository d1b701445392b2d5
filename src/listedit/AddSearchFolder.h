#pragma once
// The small modal dialog in which the user names a folder, whether its subfolders are searched
// and the file masks. The list editor opens it in two forms: to add one folder item, and to add
// every matching file of a folder (bulk add). The dialog only collects and tidies the values;
// the opener sets the form, reads the values after OK and destroys the dialog.

#include "guikit/RenvoApp.h"
#include "platform/Path.h"
#include "prompt/Prompt.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPaintEvent;
class QPushButton;

namespace renvo {

inline constexpr char kAddFolderCaption[] = "フォルダの追加";
inline constexpr char kBulkAddCaption[] = "ファイルの一括追加";

// The list editor's icons, from the resources under ":/listedit/" (for example "folder.svg").
QIcon listEditIcon(const QString& name);
// Registers those resources; listEditIcon does it itself, a caller reading them by path first
// calls this.
void registerListEditIcons();

class TfrmAddSearchFolder : public QDialog {
    Q_OBJECT

public:
    // help gets the old help command and its number, as HelpWindow::showHelp takes them.
    TfrmAddSearchFolder(Prompt& prompt, std::function<void(unsigned command, unsigned data)> help,
                        QWidget* parent = nullptr);
    ~TfrmAddSearchFolder() override;

    // The two forms the list editor opens: caption, folder label, help contexts.
    void setupAddFolder();
    void setupBulkAdd();
    // Help contexts of edtFolderName, chkSubFolder and edtFileMask.
    void setHelpContexts(unsigned folder, unsigned sub, unsigned mask);

    // Told apart by the caption alone: exactly kAddFolderCaption is the add-folder form.
    bool isAddFolderForm() const;
    // The help button's topic and the icon image (0 add folder, 1 bulk add) of the form shown.
    unsigned helpTopic() const;
    int iconIndex() const;
    // Image 0 or 1 at its drawn size.
    static QPixmap formImage(int index);

    // The values, to be read after OK (UTF-8; the folder without trailing delimiters, the
    // mask never empty).
    std::string folderName() const;
    bool subFolders() const;
    std::string fileMask() const;

    // Where the form's image is drawn, in client coordinates.
    static constexpr int kImageLeft = 8;
    static constexpr int kImageTop = 8;
    static constexpr int kImageSize = 20;

    QLabel* Label2;      // "フォルダの指定とオプション"
    QFrame* Bevel1;      // the line after Label2
    QLabel* Label1;      // label of edtFolderName, set by the opener
    QLineEdit* edtFolderName;
    QPushButton* btnSearchFolder;
    QCheckBox* chkSubFolder;
    QLabel* Label3;
    QLineEdit* edtFileMask;
    QPushButton* btnOK;    // enabled only while edtFolderName names an existing folder
    QPushButton* BitBtn2;  // Cancel
    QPushButton* BitBtn3;  // Help

    // The handlers, as the buttons and the edit call them.
    void edtFolderNameChange();
    void btnSearchFolderClick();
    void btnOKClick();
    void BitBtn3Click();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Prompt& prompt_;
    std::function<void(unsigned, unsigned)> help_;
};

}  // namespace renvo
