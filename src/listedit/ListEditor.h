#pragma once
// Opens the list editor for the main form's edit-list command: one window at a time, made
// anew for each opening and destroyed once it has closed. When the program ends from the tray
// while the editor is open, the editor's rows are saved first.

#include <QObject>

#include <functional>
#include <memory>

namespace renvo {

class TfrmConfig;
class TfrmMain;

class ListEditorOpener : public QObject {
    Q_OBJECT
public:
    // Hangs itself on hub.openListEditor.
    explicit ListEditorOpener(TfrmMain& hub);
    ~ListEditorOpener() override;

    // Shows a new editor, or brings the open one to the front.
    void open();
    TfrmConfig* current() const { return editor_.get(); }
    // Called on each new editor before it is shown (the item dialog hangs itself on it).
    std::function<void(TfrmConfig&)> prepare;

private:
    void closed();
    void programEnds();

    TfrmMain& hub_;
    std::unique_ptr<TfrmConfig> editor_;
};

}  // namespace renvo
