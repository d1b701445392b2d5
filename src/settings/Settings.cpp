#include "settings/Settings.h"

#include "platform/FileNames.h"

namespace renvo {

TSettings defaultSettings(const std::string& programFolder)
{
    TSettings s;
    s.MirTopFolder = programFolder + kTopFolderName;
    s.Mirroring = false;
    s.Interval = minutesSpan(30);
    s.MirOnStart = false;
    s.IdleMode = 0;
    s.IdleThreshold = 30;
    s.DelOnNotExists = true;
    s.DelFilesOnDelItem = true;
    s.QueryDelFiles = true;
    s.ShowProgressDialog = true;
    s.Postpone = minutesSpan(5);
    s.FolderOption = 1;
    s.TaskPriority = 5;
    s.LimitHistory = 3;
    s.EveryTimes = 5;
    s.ProgressPosition = 0;
    s.DoneStandard = 0;
    s.LogFile = programFolder + kLogFileName;
    s.KeepLogFile = true;
    s.LogAppend = false;
    return s;
}

}  // namespace renvo
