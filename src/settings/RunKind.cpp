#include "settings/RunKind.h"

namespace renvo {

bool chooseCompleteRun(TSettings& settings, bool completeRequested)
{
    if (completeRequested || settings.DoneStandard >= settings.EveryTimes) {
        settings.DoneStandard = 0;
        return true;
    }
    ++settings.DoneStandard;
    return false;
}

}  // namespace renvo
