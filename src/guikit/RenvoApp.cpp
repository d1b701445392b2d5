#include "guikit/RenvoApp.h"

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

}  // namespace renvo
