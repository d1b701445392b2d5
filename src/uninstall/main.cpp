// Uninstrv: removes Renvo's files from the program folder and, unless packaged, from its own
// folder, and on request its settings key.
// Arguments are ignored; the exit status is always 0.

#include <QApplication>

#include "guikit/QtPrompt.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include "uninstall/Uninstaller.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    renvo::QtPrompt prompt;
    renvo::runUninstall(prompt, renvo::uninstallFoldersFor(renvo::currentProgramFolderInputs()),
                        renvo::userHivePath());
    return 0;
}
