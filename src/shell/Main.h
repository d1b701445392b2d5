#pragma once
// TfrmMain: the resident program. Never shown; it owns the tray icon and its menu, the live
// settings record, the scheduler (run starter, run end handler), the run of the moment with its
// progress window, and the commands of the tray menu. It is the application the windows are
// built on, and it opens them.

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/MirThread.h"
#include "engine/RunTexts.h"
#include "guikit/IdleDetect.h"
#include "guikit/RenvoApp.h"
#include "platform/FileOperation.h"
#include "platform/RunLock.h"
#include "prompt/Prompt.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "shell/Clock.h"
#include "shell/ClockWatch.h"
#include "shell/TrayIcon.h"

namespace renvo {

class GuiRunHost;
class HelpWindow;
class ListEditorOpener;
class TfrmProgress;

// What the main form is built on; the program passes the real ones, a test its own.
struct ShellEnvironment {
    Prompt* prompt = nullptr;   // every box of the program (GUI thread)
    const Clock* clock = nullptr;
    std::string programFolder;  // with the trailing delimiter
    std::string hivePath;       // empty = the user's hive
    // Whether a tray shows the icon now; empty: a tray is taken to be there.
    std::function<bool()> trayShown = {};
};

inline constexpr char kListFileWarningCaption[] = "警告 - リストファイル未検出";
inline constexpr char kListFileWarningText[] =
    "リストファイルが見つかりません\r\n"
    "タスクトレイのアイコンを右クリックして，[リスト編集] を選び，リストファイルを作成して下さい\r\n\r\n"
    "また，初めてのご利用の方は，必ずヘルプをご覧下さい\r\n"
    "用語等についてご理解いただかないと，誤操作により被害を受けられることもあり得ます";
// No tray took the icon: told once at the start.
inline constexpr char kNoTrayText[] = "タスクトレイにアイコンを登録できません。";
// The application title, naming the platform the program runs on.
inline constexpr char kApplicationTitle[] = "Renvo for Linux";

// The scheduler sleeps until the next run falls due, but never longer than the longest sleep (a
// safety net for clock changes that go unnoticed); a due run that waits for the machine to
// become idle is looked at again every tick. A settings commit wakes it.
inline constexpr int kSchedulerTickMs = 1500;
inline constexpr int kSchedulerLongestSleepMs = 15 * 60 * 1000;

// How long the program's end waits for a run that was asked to stop. A run at the idle priority
// on a busy machine may get no processor time for minutes: the program then ends without it.
inline constexpr std::chrono::milliseconds kExitRunWait{2000};

class TfrmMain : public QWidget, public RenvoApp {
    Q_OBJECT
public:
    explicit TfrmMain(ShellEnvironment environment, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The creation step: tray icon, settings, last-run time, list-file warning or start run,
    // scheduler on.
    void FormCreate();

    // The application of the windows.
    Prompt& prompt() override { return *env_.prompt; }
    const std::string& programFolder() const override { return env_.programFolder; }
    const std::string& hivePath() const override { return env_.hivePath; }
    const TSettings& settings() const override { return settings_; }
    bool commitSettings(const TSettings& settings) override;
    RenvoAppEvents& events() override { return events_; }
    void showHelp(unsigned command, unsigned data) override;
    bool mirroringNow() const override { return mirroringNow_; }
    // Refuses during a run (box owned by owner), starts nothing without a list file.
    bool runCommand(bool completeRequested, QWidget* owner) override;
    TFileOperation& fileOperation() override { return shoMirror; }
    IdleDetector& idleDetector() override { return idle_; }
    void openListEditor() override;
    void openSettingsDialog(QWidget* owner) override;
    bool editItem(ItemList& list, size_t row, bool restore, QWidget* owner) override;
    void quit() override { Exit1Click(); }

    // The live record, for the main form's own commands and the tests: a change made here is
    // not announced.
    TSettings& settings() { return settings_; }
    // Stores what this program changed in the settings (a commit, the exit) and takes up what
    // another program (renvo-run) stored meanwhile.
    bool saveSettings();
    double lastRunTime() const { return lastRunTime_; }
    void setLastRunTime(double time);
    bool standardRun() const { return standardRun_; }
    // The stop request of the run in progress (the progress window's cancel button).
    void requestStop();

    // A later start of the program asked for this one: its open window comes forward; while no
    // tray shows the icon, the list editor opens, so that the program stays within reach.
    void anotherStart();

    // Scheduler.
    void tmrDoMirTimer();
    // The wall clock was set or the machine woke up: the sleeping scheduler and the tooltip
    // look at the due time anew.
    void clockChanged();

    // Tray menu commands.
    void mnuEditListClick();
    void mnuPropertyClick();
    void mnuAutoClick();
    void mnuForceNowClick();
    void mnuForceCompletedNowClick();
    void mnuShowLogfileClick();
    void Exit1Click();
    void PopupMenu1Popup();
    void triMainMouseMove();
    void mnuAboutClick();
    HelpWindow& helpWindow();

    // Ends the program as Exit1 does, without the application's event loop (tests): scheduler
    // off, commands refused from now on, stop request, a wait of at most `wait` for the run,
    // settings saved. False when the run did not end in time.
    bool shutDown(std::chrono::milliseconds wait);
    bool exiting() const { return exiting_; }
    // The stop request and a wait of at most `wait` for the run's end, serving its last calls
    // meanwhile; its boxes are answered without a window. True when no run is left.
    bool stopRun(std::chrono::milliseconds wait);

    // State the tests look at.
    QTimer& timer() { return tmrDoMir; }
    QTimer& tipTimer() { return tipTimer_; }
    TTrayIcon& trayIcon() { return triMain; }
    QMenu& trayMenu() { return PopupMenu1; }
    TfrmProgress* progressWindow() const { return progress_.get(); }
    TMirror* currentRun() const { return mirror_.get(); }
    const std::optional<RunOutcome>& lastOutcome() const { return lastOutcome_; }
    ListEditorOpener& listEditor() { return *listEditor_; }
    // The tooltip as it would read now.
    QString tipText() const;
    // The desktop notification of the last run that did not do all it was due to; empty after
    // one that did.
    const QString& lastNotice() const { return lastNotice_; }

    QAction* mnuEditList = nullptr;
    QAction* mnuProperty = nullptr;
    QAction* mnuAuto = nullptr;
    QAction* mnuForceNow = nullptr;
    QAction* mnuForceCompletedNow = nullptr;
    QAction* mnuShowLogfile = nullptr;
    QMenu* Help1 = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* Contents1 = nullptr;
    QAction* SearchforHelpOn1 = nullptr;
    QAction* HowtoUseHelp1 = nullptr;
    QAction* T1 = nullptr;
    QAction* Exit1 = nullptr;

signals:
    // After the run end handler (tests and the end-to-end checks wait for it).
    void runFinished();

private:
    void buildMenu();
    // The scheduler's next look: soon while a due run waits, else at the due time. Also keeps
    // the tooltip and its timer current.
    void armScheduler();
    void rearmIfResting();
    void armTipTimer();
    bool listFileExists() const;
    void showListFileWarning(QWidget* owner);
    void startRun(bool completeRequested, RunLock lock);
    MirrorSnapshot runStartStep();
    void runEndStep();
    void runEnded();
    void updateProgress();
    void reportOutcome(const RunOutcome& outcome);
    void showRefusal(QWidget* owner);
    bool trayShown() const { return !env_.trayShown || env_.trayShown(); }

    ShellEnvironment env_;
    RenvoAppEvents events_;
    SettingsStore store_;
    TSettings settings_;
    double lastRunTime_ = 0;
    bool standardRun_ = true;
    bool mirroringNow_ = false;
    bool inTick_ = false;
    bool schedulerOn_ = false;  // from the end of the creation step to the exit
    bool exiting_ = false;      // Exit1 has begun: no command, no new run, no box of a command
    bool lockFailureShown_ = false;
    bool tipLive_ = false;  // the tip names the next run: set by the first look or the pointer
    std::optional<RunOutcome> lastOutcome_;
    QString lastNotice_;

    QTimer tmrDoMir;
    QTimer progressTimer_;  // reads the run's progress for the window
    QTimer tipTimer_;       // keeps the tooltip current where hosts report no mouse movement
    ClockWatch clockWatch_;
    QMenu PopupMenu1;
    TTrayIcon triMain;
    IdleDetector idle_;
    TFileOperation shoMirror;
    std::unique_ptr<ListEditorOpener> listEditor_;
    QWidget* settingsDialog_ = nullptr;  // the open settings dialog

    RunLock runLock_;
    std::unique_ptr<GuiRunHost> host_;
    std::unique_ptr<TMirror> mirror_;
    std::unique_ptr<TfrmProgress> progress_;
    std::unique_ptr<HelpWindow> help_;  // made when asked for, let go when closed
};

// The program's end on the form's exit request (Exit1 has saved the settings): every event
// loop ends, nested ones (a box, a modal window) included. QApplication::quit() would first ask every window to close and give
// up for good when one refuses, as the progress window of a run that is winding down does.
void endEventLoopOnExitRequest(TfrmMain& form);

}  // namespace renvo
