#include "shell/Main.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

#include "dialog/Property.h"
#include "guikit/AboutBox.h"
#include "guikit/HelpWindow.h"
#include "guikit/QtPrompt.h"
#include "listedit/ListEditor.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "runhost/RunSettings.h"
#include "settings/RunKind.h"
#include "settings/SettingsStore.h"
#include "shell/GuiRunHost.h"
#include "shell/Progress.h"
#include "shell/Scheduler.h"

namespace renvo {

namespace {

constexpr int kAnimateRate = 400;
// At most about 20 progress updates a second reach the window, whatever the run's pace.
constexpr int kProgressMs = 50;

constexpr unsigned kTrayIconTopic = 9;

// A window the user works in, as opposed to the tray's own icon window, menus and tooltips.
bool isUserWindow(const QWidget* widget)
{
    if (!widget->isWindow() || !widget->isVisible())
        return false;
    switch (widget->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop:
        return false;
    default:
        return true;
    }
}

}  // namespace

TfrmMain::TfrmMain(ShellEnvironment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)), store_(env_.programFolder, env_.hivePath)
{
    setWindowTitle(QStringLiteral("Renvo"));
    // One shot at a time, armed anew after each look for the next one; precise, so that a
    // long sleep ends at the due time and not up to 5% of it later.
    tmrDoMir.setSingleShot(true);
    tmrDoMir.setTimerType(Qt::PreciseTimer);
    tmrDoMir.setInterval(kSchedulerTickMs);
    connect(&tmrDoMir, &QTimer::timeout, this, &TfrmMain::tmrDoMirTimer);
    progressTimer_.setInterval(kProgressMs);
    connect(&progressTimer_, &QTimer::timeout, this, &TfrmMain::updateProgress);
    tipTimer_.setSingleShot(true);
    tipTimer_.setTimerType(Qt::PreciseTimer);
    connect(&tipTimer_, &QTimer::timeout, this, [this] {
        triMainMouseMove();
        armTipTimer();
    });
    connect(&clockWatch_, &ClockWatch::clockChanged, this, &TfrmMain::clockChanged);
    // A commit may move the due time, switch the automatic runs or the tooltip's text.
    connect(&events_, &RenvoAppEvents::settingsChanged, this, &TfrmMain::rearmIfResting);
    listEditor_ = std::make_unique<ListEditorOpener>(*this);

    buildMenu();
    triMain.setAnimateIcons(animationFrames());
    triMain.setAnimateRate(kAnimateRate);
    triMain.setRBPopupMenu(&PopupMenu1);
    triMain.setTipHelp(QStringLiteral("Renvo"));
    // Queued like the menu's commands: a modal window must not open inside the tray's own
    // event (over D-Bus the host would wait for the answer to its activation meanwhile).
    triMain.OnDblClick = [this] {
        QTimer::singleShot(0, this, [this] {
            if (!exiting_)
                mnuEditListClick();
        });
    };
    triMain.OnMouseMove = [this] { triMainMouseMove(); };
}

TfrmMain::~TfrmMain()
{
    // A run still going when the form goes (the program ends by another way than Exit1): it
    // must not call back into a form that is gone.
    // The program's main waits for the run itself; this is the net for any other owner.
    if (mirror_ && !stopRun(kExitRunWait)) {
        std::fprintf(stderr, "Renvo: the run did not stop in time; ending without waiting for it\n");
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
}

void TfrmMain::buildMenu()
{
    mnuEditList = PopupMenu1.addAction(QStringLiteral("リストの編集(&L)..."));
    PopupMenu1.setDefaultAction(mnuEditList);
    mnuProperty = PopupMenu1.addAction(menuGlyph(1), QStringLiteral("環境設定(&V)..."));
    PopupMenu1.addSeparator();
    mnuAuto = PopupMenu1.addAction(QStringLiteral("自動実行(&A)"));
    mnuAuto->setCheckable(true);
    mnuForceNow = PopupMenu1.addAction(menuGlyph(0), QStringLiteral("標準ミラーリング実行(&E)..."));
    mnuForceCompletedNow = PopupMenu1.addAction(menuGlyph(3), QStringLiteral("完全ミラーリング実行(&C)"));
    PopupMenu1.addSeparator();
    mnuShowLogfile = PopupMenu1.addAction(menuGlyph(4), QStringLiteral("ログファイルの表示(&D)"));
    PopupMenu1.addSeparator();
    Help1 = PopupMenu1.addMenu(menuGlyph(2), QStringLiteral("ヘルプ(&H)"));
    mnuAbout = Help1->addAction(QStringLiteral("バージョン情報(&A)..."));
    Help1->addSeparator();
    Contents1 = Help1->addAction(menuGlyph(5), QStringLiteral("目次(&C)"));
    SearchforHelpOn1 = Help1->addAction(QStringLiteral("トピックの検索(&S)..."));
    HowtoUseHelp1 = Help1->addAction(QStringLiteral("ヘルプの使い方(&H)"));
    Help1->addSeparator();
    T1 = Help1->addAction(QStringLiteral("トレイのアイコン(&T)"));
    PopupMenu1.addSeparator();
    Exit1 = PopupMenu1.addAction(QStringLiteral("終了(&Q)"));

    // Queued: a command that opens a modal window must not run inside the menu's own handling.
    // Once the program ends, the menu stays usable while the run is awaited: nothing it offers
    // may start a run or open a window that would hold the end up.
    auto on = [this](QAction* action, void (TfrmMain::*command)()) {
        connect(
            action, &QAction::triggered, this,
            [this, command] {
                if (!exiting_)
                    (this->*command)();
            },
            Qt::QueuedConnection);
    };
    on(mnuEditList, &TfrmMain::mnuEditListClick);
    on(mnuProperty, &TfrmMain::mnuPropertyClick);
    on(mnuAuto, &TfrmMain::mnuAutoClick);
    on(mnuForceNow, &TfrmMain::mnuForceNowClick);
    on(mnuForceCompletedNow, &TfrmMain::mnuForceCompletedNowClick);
    on(mnuShowLogfile, &TfrmMain::mnuShowLogfileClick);
    on(Exit1, &TfrmMain::Exit1Click);
    on(mnuAbout, &TfrmMain::mnuAboutClick);
    connect(Contents1, &QAction::triggered, this, [this] { showHelp(HELP_FINDER, 0); });
    connect(SearchforHelpOn1, &QAction::triggered, this, [this] { showHelp(HELP_KEY, 0); });
    connect(HowtoUseHelp1, &QAction::triggered, this, [this] { showHelp(HELP_HELPONHELP, 0); });
    connect(T1, &QAction::triggered, this, [this] { showHelp(HELP_CONTEXT, kTrayIconTopic); });
    connect(&PopupMenu1, &QMenu::aboutToShow, this, &TfrmMain::PopupMenu1Popup);
}

void TfrmMain::FormCreate()
{
    // The tray component puts a lost icon back by itself (it watches for the tray host).
    triMain.setIcon(appIcon());
    triMain.setVisible(true);
    // A StatusNotifier host reads the tip when the pointer rests on the icon and never tells
    // the program: there the tip is current from the start, as it would be after a visit.
    tipLive_ = triMain.trayKind() == TrayKind::StatusNotifier;
    // Without a tray the icon waits for one to appear (the tray component puts it there then);
    // the user is told once, and meanwhile a later start opens the list editor.
    if (!trayShown())
        env_.prompt->tell(kApplicationTitle, kNoTrayText, PromptIcon::Error);
    settings_ = store_.load(*env_.prompt);
    lastRunTime_ = env_.clock->now();
    if (!listFileExists())
        showListFileWarning(nullptr);
    else if (settings_.MirOnStart) {
        RunLock lock = RunLock::tryAcquire(env_.programFolder);
        if (lock.held())
            startRun(false, std::move(lock));
    }
    schedulerOn_ = true;
    rearmIfResting();
}

bool TfrmMain::listFileExists() const
{
    return pathExists(env_.programFolder + kListFileName);
}

void TfrmMain::showListFileWarning(QWidget* owner)
{
    env_.prompt->tell(kListFileWarningCaption, kListFileWarningText, PromptIcon::Warning, owner);
}

void TfrmMain::showRefusal(QWidget* owner)
{
    env_.prompt->tell(kRefusalCaption, kRefusalText, PromptIcon::Warning, owner);
}

// ---- Scheduler -------------------------------------------------------------------------

void TfrmMain::armScheduler()
{
    // The tip says "Renvo" until the scheduler's first look or the pointer's first visit.
    if (tipLive_)
        triMainMouseMove();
    armTipTimer();
    if (!schedulerOn_)
        return;
    int64_t wait = msUntilDue(settings_, lastRunTime_, env_.clock->now(), kSchedulerLongestSleepMs);
    // Due and still not started: the machine was busy (the idle test, another program's run)
    // and Postpone left the due time in the past, so the idle test is repeated at every tick;
    // or the list file is missing, and only the list editor makes one.
    if (wait == 0)
        wait = listFileExists() ? kSchedulerTickMs : kSchedulerLongestSleepMs;
    tmrDoMir.start(int(wait));
}

void TfrmMain::rearmIfResting()
{
    // During a run the timer is off from the start step to the end step.
    if (schedulerOn_ && !mirroringNow_ && !inTick_)
        armScheduler();
}

void TfrmMain::armTipTimer()
{
    // An XEmbed tray tells of the pointer over the icon, which renews the tip just before it
    // shows; a StatusNotifier host reads the tip by itself, so it is renewed as it changes.
    const int64_t wait = triMain.trayKind() == TrayKind::StatusNotifier
                             ? msUntilTipChanges(settings_, lastRunTime_, env_.clock->now())
                             : -1;
    if (wait < 0)
        tipTimer_.stop();
    else
        tipTimer_.start(int(wait));
}

void TfrmMain::setLastRunTime(double time)
{
    lastRunTime_ = time;
    rearmIfResting();
}

void TfrmMain::clockChanged()
{
    rearmIfResting();
}

void TfrmMain::tmrDoMirTimer()
{
    // The RLF measurement lets events through, among them further ticks: those do nothing,
    // so the outer tick alone decides.
    if (inTick_ || mirroringNow_)
        return;
    // Called directly as well as by the timer: the tick arms the next look when it is done.
    tmrDoMir.stop();
    inTick_ = true;
    tipLive_ = true;
    struct Leave {
        TfrmMain& form;
        ~Leave()
        {
            form.inTick_ = false;
            form.rearmIfResting();
        }
    } leave{*this};

    if (!runDue(settings_, lastRunTime_, env_.clock->now()))
        return;
    // Without a list file a run would do nothing but count: wait for the list.
    if (!listFileExists())
        return;
    bool idle = idle_.idleTest(settings_.IdleMode, settings_.IdleThreshold);
    // A command handled while the machine was measured may have started a run, or the quit.
    if (mirroringNow_ || exiting_)
        return;
    RunLock lock;
    if (idle) {
        lock = RunLock::tryAcquire(env_.programFolder);
        // Another program's run (renvo-run) counts as a busy machine.
        if (!lock.held()) {
            idle = false;
            if (lock.state() == RunLock::State::failed && !lockFailureShown_) {
                lockFailureShown_ = true;
                env_.prompt->tell(kErrorDialogCaption, lock.refusal(), PromptIcon::Error);
            }
        }
    }
    if (idle)
        startRun(false, std::move(lock));
    else
        lastRunTime_ = postponedRunTime(settings_, lastRunTime_);
}

bool TfrmMain::runCommand(bool completeRequested, QWidget* owner)
{
    if (exiting_)
        return false;
    if (mirroringNow_) {
        showRefusal(owner);
        return false;
    }
    if (!listFileExists()) {
        showListFileWarning(owner);
        return false;
    }
    RunLock lock = RunLock::tryAcquire(env_.programFolder);
    if (!lock.held()) {
        if (lock.state() == RunLock::State::busy)
            showRefusal(owner);
        else
            env_.prompt->tell(kErrorDialogCaption, lock.refusal(), PromptIcon::Error, owner);
        return false;
    }
    startRun(completeRequested, std::move(lock));
    return true;
}

void TfrmMain::startRun(bool completeRequested, RunLock lock)
{
    lockFailureShown_ = false;
    runLock_ = std::move(lock);
    // renvo-run may have run and counted since this program last looked (cron, a server).
    store_.refresh(settings_, *env_.prompt);
    standardRun_ = !chooseCompleteRun(settings_, completeRequested);
    // Stored at once, as renvo-run stores it: a run of the other program meanwhile counts on
    // from this one instead of being counted over at this program's exit.
    saveSettings();
    if (settings_.ShowProgressDialog) {
        progress_ = std::make_unique<TfrmProgress>(standardRun_, settings_.ProgressPosition, animationFrames(),
                                                   cancelGlyph(), [this] { requestStop(); });
        progress_->show();
        progress_->repaint();
    }
    mirroringNow_ = true;
    host_ = std::make_unique<GuiRunHost>([this] { return runStartStep(); }, [this] { runEndStep(); },
                                         *env_.prompt, nullptr);
    mirror_ = std::make_unique<TMirror>(*host_, *host_, env_.programFolder, settings_.TaskPriority);
    progressTimer_.start();
    // The end handler runs on the run thread: it only posts the end to this thread.
    mirror_->start([this] { QMetaObject::invokeMethod(this, &TfrmMain::runEnded, Qt::QueuedConnection); });
}

MirrorSnapshot TfrmMain::runStartStep()
{
    tmrDoMir.stop();
    triMain.StartAnimation();
    return snapshotOf(settings_, standardRun_);
}

void TfrmMain::runEndStep()
{
    triMain.StopAnimation();
    lastRunTime_ = env_.clock->now();
    armScheduler();
}

void TfrmMain::runEnded()
{
    if (!mirror_)
        return;
    const RunOutcome outcome = mirror_->join();
    progressTimer_.stop();
    mirror_.reset();
    host_.reset();
    if (progress_) {
        progress_->finish();
        progress_.reset();
    }
    mirroringNow_ = false;
    runLock_.release();
    // Also after a run that never reached its end step (the list went away).
    rearmIfResting();
    reportOutcome(outcome);
    emit runFinished();
}

void TfrmMain::updateProgress()
{
    if (mirror_ && progress_ && settings_.ShowProgressDialog)
        progress_->setProgress(mirror_->progress());
}

void TfrmMain::reportOutcome(const RunOutcome& outcome)
{
    // A run that never began (the list went away) says nothing about the backup.
    if (outcome.end == RunEnd::NotRun)
        return;
    lastOutcome_ = outcome;
    triMainMouseMove();
    lastNotice_ = fromEngineText(runFailureNotice(outcome, settings_.LogFile));
    if (!lastNotice_.isEmpty())
        triMain.showMessage(QString::fromUtf8(kApplicationTitle), lastNotice_);
}

void TfrmMain::requestStop()
{
    if (mirror_)
        mirror_->requestStop();
}

bool TfrmMain::shutDown(std::chrono::milliseconds wait)
{
    // Before the wait, which lets the tick and the commands through: none may start a run.
    exiting_ = true;
    schedulerOn_ = false;
    tmrDoMir.stop();
    tipTimer_.stop();
    const bool stopped = stopRun(wait);
    saveSettings();
    return stopped;
}

bool TfrmMain::saveSettings()
{
    return store_.save(settings_, *env_.prompt);
}

bool TfrmMain::commitSettings(const TSettings& settings)
{
    settings_ = settings;
    const bool saved = saveSettings();
    emit events_.settingsChanged();
    return saved;
}

bool TfrmMain::stopRun(std::chrono::milliseconds wait)
{
    if (mirror_) {
        mirror_->requestStop();
        host_->silenceBoxes();
        QElapsedTimer waited;
        waited.start();
        // The run's last calls come to this thread: keep serving them while waiting.
        while (mirror_ && waited.elapsed() < wait.count()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (mirror_ && mirror_->waitFor(std::chrono::milliseconds(20)))
                runEnded();
        }
    }
    return !mirror_;
}

// ---- Tray menu ---------------------------------------------------------------------------

void TfrmMain::PopupMenu1Popup()
{
    mnuAuto->setChecked(settings_.Mirroring);
}

void TfrmMain::mnuAutoClick()
{
    // The action has inverted its own check mark already.
    settings_.Mirroring = mnuAuto->isChecked();
    triMainMouseMove();
    rearmIfResting();
}

void TfrmMain::mnuEditListClick()
{
    if (mirroringNow_) {
        showRefusal(nullptr);
        return;
    }
    openListEditor();
}

void TfrmMain::mnuPropertyClick()
{
    if (mirroringNow_) {
        showRefusal(nullptr);
        return;
    }
    openSettingsDialog(nullptr);
}

void TfrmMain::openListEditor()
{
    listEditor_->open();
}

void TfrmMain::openSettingsDialog(QWidget* owner)
{
    // One at a time: asked for again, the open one comes forward.
    if (settingsDialog_ != nullptr) {
        bringToFront(settingsDialog_);
        return;
    }
    TfrmProperty dialog(*this, PropertyMode::Settings, owner);
    settingsDialog_ = &dialog;
    if (owner != nullptr) {
        // Modal to the window it was opened from only.
        dialog.setWindowModality(Qt::WindowModal);
        dialog.exec();
    } else {
        // From the tray: a modal dialog would take the tray's own window for its parent and
        // block it, so it waits for its end without blocking anything.
        QEventLoop loop;
        connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        bringToFront(&dialog);
        loop.exec();
    }
    settingsDialog_ = nullptr;
}

void TfrmMain::anotherStart()
{
    if (exiting_)
        return;
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) {
        for (QWidget* candidate : QApplication::topLevelWidgets()) {
            if (candidate != this && isUserWindow(candidate)) {
                window = candidate;
                break;
            }
        }
    }
    if (window != nullptr)
        bringToFront(window);
    else if (!trayShown())
        mnuEditListClick();
}

bool TfrmMain::editItem(ItemList& list, size_t row, bool restore, QWidget* owner)
{
    return openItemDialog(*this, list, row, restore, owner);
}

void TfrmMain::mnuForceNowClick()
{
    runCommand(false, nullptr);
}

void TfrmMain::mnuForceCompletedNowClick()
{
    runCommand(true, nullptr);
}

void TfrmMain::mnuShowLogfileClick()
{
    // The desktop's viewer reports its own failures; the program adds nothing.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromUtf8(settings_.LogFile.c_str())));
}

void TfrmMain::Exit1Click()
{
    // A second quit while the first one waits for the run (the list editor's quit as well).
    if (exiting_)
        return;
    shutDown(kExitRunWait);
    emit events_.exitRequested();
}

void TfrmMain::mnuAboutClick()
{
    AboutBox box(QString::fromUtf8(env_.programFolder.c_str()), nullptr);
    box.exec();
}

HelpWindow& TfrmMain::helpWindow()
{
    if (!help_) {
        help_ = std::make_unique<HelpWindow>();
        // Its pages, history and keyword list are of no use at rest: made anew when asked for.
        // Not inside its own close handling, and not when it was shown again meanwhile.
        connect(help_.get(), &HelpWindow::closed, this, [this] {
            QTimer::singleShot(0, this, [this] {
                if (help_ && !help_->isVisible())
                    help_.reset();
            });
        });
    }
    return *help_;
}

void TfrmMain::showHelp(unsigned command, unsigned data)
{
    helpWindow().showHelp(command, data);
}

void endEventLoopOnExitRequest(TfrmMain& form)
{
    // Queued: the form's other listeners (the list editor saves its list) act first, and a
    // quit chosen inside a box ends the box's loop as well as the program's.
    QObject::connect(
        &form.events(), &RenvoAppEvents::exitRequested, QCoreApplication::instance(), [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
}

QString TfrmMain::tipText() const
{
    std::string tip = nextRunTip(settings_, lastRunTime_, env_.clock->now());
    if (lastOutcome_) {
        const std::string line = lastRunLine(*lastOutcome_);
        if (!line.empty())
            tip += "\n" + line;
    }
    return QString::fromUtf8(tip.c_str());
}

void TfrmMain::triMainMouseMove()
{
    tipLive_ = true;
    triMain.setTipHelp(tipText());
}

}  // namespace renvo
