#include "listedit/ListEditor.h"

#include <QTimer>

#include "guikit/RenvoApp.h"
#include "listedit/Config.h"

namespace renvo {

ListEditorOpener::ListEditorOpener(RenvoApp& app) : app_(app)
{
    connect(&app_.events(), &RenvoAppEvents::exitRequested, this, &ListEditorOpener::programEnds);
}

ListEditorOpener::~ListEditorOpener() = default;

void ListEditorOpener::open()
{
    if (!editor_ || !editor_->isVisible()) {
        editor_ = std::make_unique<TfrmConfig>(app_);
        connect(editor_.get(), &TfrmConfig::closed, this, &ListEditorOpener::closed);
    }
    bringToFront(editor_.get());
}

void ListEditorOpener::closed()
{
    // Inside the window's own close handling: it goes once that has returned.
    QTimer::singleShot(0, this, [this] {
        if (editor_ && !editor_->isVisible())
            editor_.reset();
    });
}

void ListEditorOpener::programEnds()
{
    // The tray's exit leaves no run behind; what the editor shows goes to the list file.
    if (editor_ && editor_->isVisible() && !app_.mirroringNow())
        editor_->actSaveExecute();
}

}  // namespace renvo
