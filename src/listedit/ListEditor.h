#pragma once
// Opens the list editor for the edit-list command: one window at a time, made anew for each
// opening and destroyed once it has closed. When the program ends while the editor is open,
// the editor's rows are saved first.

#include <QObject>

#include <memory>

namespace renvo {

class RenvoApp;
class TfrmConfig;

class ListEditorOpener : public QObject {
    Q_OBJECT
public:
    explicit ListEditorOpener(RenvoApp& app);
    ~ListEditorOpener() override;

    // Shows a new editor, or brings the open one to the front.
    void open();
    TfrmConfig* current() const { return editor_.get(); }

private:
    void closed();
    void programEnds();

    RenvoApp& app_;
    std::unique_ptr<TfrmConfig> editor_;
};

}  // namespace renvo
