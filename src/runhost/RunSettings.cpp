#include "runhost/RunSettings.h"

namespace renvo {

MirrorSnapshot snapshotOf(const TSettings& s, bool standardRun)
{
    MirrorSnapshot snap;
    snap.standardRun = standardRun;
    snap.LogAppend = s.LogAppend;
    snap.KeepLogFile = s.KeepLogFile;
    snap.LogFile = s.LogFile;
    snap.LimitHistory = s.LimitHistory;
    snap.DelOnNotExists = s.DelOnNotExists;
    snap.MirTopFolder = s.MirTopFolder;
    snap.FolderOption = s.FolderOption;
    return snap;
}

}  // namespace renvo
