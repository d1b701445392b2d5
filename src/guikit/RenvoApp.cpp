#include "guikit/RenvoApp.h"

#include <QWidget>

#include "engine/RunTexts.h"
#include "prompt/Prompt.h"

namespace renvo {

bool refusedDuringRun(RenvoApp& app, QWidget* owner)
{
    if (!app.mirroringNow())
        return false;
    app.prompt().tell(kRefusalCaption, kRefusalText, PromptIcon::Warning, owner);
    return true;
}

void bringToFront(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace renvo
