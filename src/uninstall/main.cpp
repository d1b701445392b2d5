// Uninstrv: removes Renvo's files from the program folder and, unless packaged, from its own
// folder, and on request its settings key.
// Arguments are ignored; the exit status is 0, or 1 when there is no display to ask on.

#include <QApplication>

#include <cstdio>

#include "guikit/AppStart.h"
#include "guikit/QtPrompt.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include "uninstall/Uninstaller.h"

int main(int argc, char** argv)
{
    // Without a display Qt aborts with a line of its own in English; nothing has been asked and
    // nothing removed, which the user should read in plain words.
    if (!renvo::haveDisplay()) {
        std::fprintf(stderr, "Uninstrv は画面に確認を出して動くプログラムです。デスクトップのセッションから起動して下さい"
                             "（何も削除していません）\n");
        return 1;
    }
    QApplication app(argc, argv);
    renvo::installQtJapanese(app);
    renvo::QtPrompt prompt;
    renvo::runUninstall(prompt, renvo::uninstallFoldersFor(renvo::currentProgramFolderInputs()),
                        renvo::userHivePath());
    return 0;
}
