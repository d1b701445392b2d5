// Renvo: the resident program. No main window and no taskbar button: the tray icon is the
// program's face, the main form stays hidden.

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "guikit/AppStart.h"
#include "guikit/QtPrompt.h"
#include "platform/Program.h"
#include "shell/Main.h"
#include "shell/SingleInstance.h"

using namespace renvo;

namespace {

// A fixed name for this program and no other: copies in other folders exclude each other too.
constexpr char kUniqueName[] = "Tovan.Renvo.Resident";

}  // namespace

int main(int argc, char** argv)
{
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "Renvo はデスクトップのセッションで動くプログラムです（端末からは renvo-run で 1 回のミラーリングを実行できます）\n");
        return 1;
    }
    QApplication app(argc, argv);
    installQtJapanese(app);
    QApplication::setApplicationName(QStringLiteral("Renvo"));
    // The program lives on in the tray when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    TSingleInstance guard;
    guard.UniqueName = QString::fromUtf8(kUniqueName);
    if (!guard.claim())
        return 0;

    QtPrompt prompt;
    SystemClock clock;
    ShellEnvironment environment;
    environment.prompt = &prompt;
    environment.clock = &clock;
    environment.programFolder = programFolder();
    environment.trayShown = [] { return currentTrayKind() != TrayKind::None; };
    TfrmMain frmMain(environment);
    // Queued: a box or window it opens must not run inside the guard's own handling.
    QObject::connect(&guard, &TSingleInstance::activateRequested, &frmMain, &TfrmMain::anotherStart,
                     Qt::QueuedConnection);
    endEventLoopOnExitRequest(frmMain);
    frmMain.FormCreate();
    const int code = app.exec();
    // A run still going: the quit asked it to stop and saved the settings, and its copies are
    // whole, so the program leaves without it once it has had its time.
    if (!frmMain.stopRun(kExitRunWait)) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
