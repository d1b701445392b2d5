#pragma once
// The restore page of the item dialog: searches the backup for the copies of the item being
// edited and copies the rows the user selects back below a target folder. It acts at once,
// whatever the dialog's result; the work itself is in RestoreCommands.

#include "dialog/RestoreCommands.h"
#include "platform/FileOperation.h"
#include "prompt/Prompt.h"

#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace renvo {

// Taken at the moment of each action, never stored.
struct RestoreInputs {
    std::string address;     // the item page's address text
    bool isFile = false;     // kind index 0
    bool subfolders = false; // the subfolder check box
    std::string dest;        // the destination-subfolder text
    std::string topFolder;   // MirTopFolder
    int limitHistory = 0;    // LimitHistory
};

class TRestorePage : public QWidget {
    Q_OBJECT

public:
    TRestorePage(Prompt& prompt, TFileOperation& fileOp, std::function<RestoreInputs()> inputs,
                 QWidget* parent = nullptr);
    ~TRestorePage() override;

    // The handlers, as the buttons and the list's header call them.
    void btnSearchBackupFileClick();
    void btnRestoreClick();
    void lsvRestoreColumnClick(int column);
    void btnSelectFolderClick();

    QPushButton* btnSearchBackupFile;
    QPushButton* btnRestore;
    QLabel* lblRestore;
    QTreeWidget* lsvRestore;  // columns: file name, subfolder, generation
    QLabel* lblTarget;
    QLineEdit* edtRestoreTarget;
    QPushButton* btnSelectFolder;

    // The candidate shown in a row of lsvRestore; null for the "nothing found" row.
    const RestoreCandidate* candidateOf(int row) const;
    // What the last restore did (for the opener and the tests).
    const RestoreOutcome& lastOutcome() const { return lastOutcome_; }

private:
    Prompt& prompt_;
    TFileOperation& fileOp_;
    std::function<RestoreInputs()> inputs_;
    std::vector<RestoreCandidate> candidates_;  // rows refer to these by index
    std::array<bool, 3> sortAscending_{};       // the direction flag of each column
    int sortColumn_ = -1;                       // clicked last
    RestoreOutcome lastOutcome_;
};

}  // namespace renvo
