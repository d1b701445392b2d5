// The main form as the hub: scheduler decisions over a moved clock, the run starter and end
// handler with real runs over real folders, refusals, the run lock shared with renvo-run,
// the tray menu, the tooltip and the exit during a run.

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <functional>
#include <thread>

#include "common/Privileges.h"
#include "common/TestHub.h"
#include "dialog/Property.h"
#include "engine/ListFile.h"
#include "guikit/HelpWindow.h"
#include "listedit/Config.h"
#include "listedit/ListEditor.h"
#include "platform/DateTime.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/RunLock.h"
#include "settings/SettingsStore.h"
#include "shell/Main.h"
#include "shell/Progress.h"
#include "shell/Scheduler.h"

using namespace renvo;
using renvo::test::readFile;
using renvo::test::ScriptedPrompt;
using renvo::test::TempDir;
using renvo::test::writeFile;

namespace {

class MainFormTest : public test::HubTest {
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        clock.set(encodeDateTime(2026, 12, 9, 10, 0, 0));
        settings.Interval = minutesSpan(30);
        settings.Postpone = minutesSpan(5);
        writeFile(dir / "src/b.txt", "beta");
    }

    // An automatic run falls due while the machine's load is measured for it (a figure any
    // load passes); `meanwhile` runs each time the measuring lets events through.
    void tickWhileTheLoadIsMeasured(std::function<void()> meanwhile)
    {
        settings.Mirroring = true;
        settings.IdleMode = 2;
        settings.IdleThreshold = 999999;
        writeList();
        create();
        clock.advanceMinutes(31);
        form->idleDetector().processEvents = std::move(meanwhile);
        form->tmrDoMirTimer();
        form->idleDetector().processEvents = [] {};
    }
};

// ---- when the tick starts a run -----------------------------------------------------------

TEST_F(MainFormTest, TickStartsARunOnceTheIntervalHasPassedAndTheRunRenewsTheLastRunTime)
{
    settings.Mirroring = true;
    writeList();
    create();
    const double started = form->lastRunTime();
    EXPECT_EQ(started, clock.now());
    EXPECT_TRUE(form->timer().isActive());

    clock.advanceMinutes(29.9);
    form->tmrDoMirTimer();
    EXPECT_FALSE(form->mirroringNow());

    clock.advanceMinutes(0.1);  // due time == now: due
    form->tmrDoMirTimer();
    ASSERT_TRUE(form->mirroringNow());
    EXPECT_TRUE(form->standardRun());
    waitForIdle();
    EXPECT_EQ(readFile(dir / "top/Latest/src/a.txt"), "alpha");
    EXPECT_TRUE(form->lastNotice().isEmpty());  // a run that did everything tells nothing
    EXPECT_EQ(form->lastRunTime(), clock.now());
    EXPECT_TRUE(form->timer().isActive());  // the end step switched it back on
    EXPECT_EQ(form->settings().DoneStandard, 1);
}

TEST_F(MainFormTest, ManualModeAndAMissingListFileStartNothingAndCountNothing)
{
    settings.Mirroring = false;
    prompt.expect(kListFileWarningCaption, PromptAnswer::Ok);
    create();
    clock.advanceMinutes(120);
    form->tmrDoMirTimer();
    EXPECT_FALSE(form->mirroringNow());

    form->settings().Mirroring = true;  // auto mode, still no list: nothing, and no count
    for (int i = 0; i < 3; ++i)
        form->tmrDoMirTimer();
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_EQ(form->settings().DoneStandard, 0);

    writeList();  // the first tick after the list appears runs as usual
    form->tmrDoMirTimer();
    EXPECT_TRUE(form->mirroringNow());
    waitForIdle();
    EXPECT_EQ(form->settings().DoneStandard, 1);
}

TEST_F(MainFormTest, ABusyMachinePostponesByPostponeFromTheOldDueTime)
{
    settings.Mirroring = true;
    settings.IdleMode = 2;  // RLF below 0 ms never passes
    settings.IdleThreshold = 0;
    writeList();
    create();
    // The due time 12 minutes in the past.
    clock.advanceMinutes(42);
    const double last = form->lastRunTime();
    form->tmrDoMirTimer();
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_NEAR(form->lastRunTime(), last + minutesSpan(5), 1e-9);
    EXPECT_TRUE(runDue(form->settings(), form->lastRunTime(), clock.now()));  // still 7 minutes past
    form->tmrDoMirTimer();
    form->tmrDoMirTimer();
    EXPECT_NEAR(form->lastRunTime(), last + minutesSpan(15), 1e-9);
    EXPECT_FALSE(runDue(form->settings(), form->lastRunTime(), clock.now()));
    form->tmrDoMirTimer();  // not due: nothing moves
    EXPECT_NEAR(form->lastRunTime(), last + minutesSpan(15), 1e-9);
    EXPECT_EQ(form->settings().DoneStandard, 0);
}

TEST_F(MainFormTest, ARunOfAnotherProgramCountsAsBusyForTheTickAndRefusesTheMenu)
{
    settings.Mirroring = true;
    writeList();
    create();
    RunLock other = RunLock::tryAcquire(folder);
    ASSERT_TRUE(other.held());
    clock.advanceMinutes(31);
    const double last = form->lastRunTime();
    form->tmrDoMirTimer();
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_NEAR(form->lastRunTime(), last + minutesSpan(5), 1e-9);  // postponed, no box

    prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    form->mnuForceNowClick();
    EXPECT_FALSE(form->mirroringNow());
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(prompt.asked[0].text, kRefusalText);
    EXPECT_EQ(prompt.asked[0].icon, PromptIcon::Warning);
    EXPECT_EQ(form->settings().DoneStandard, 0);

    other.release();
    form->mnuForceNowClick();
    EXPECT_TRUE(form->mirroringNow());
}

TEST_F(MainFormTest, IntervalZeroStartsTheNextRunAtTheFirstTickAfterTheEnd)
{
    settings.Mirroring = true;
    settings.Interval = 0;
    writeList();
    create();
    form->tmrDoMirTimer();
    ASSERT_TRUE(form->mirroringNow());
    waitForIdle();
    form->tmrDoMirTimer();
    EXPECT_TRUE(form->mirroringNow());
}

TEST_F(MainFormTest, TicksHandledWhileTheLoadFigureIsMeasuredStartNoSecondRun)
{
    int nested = 0;
    tickWhileTheLoadIsMeasured([&] {
        ++nested;
        form->tmrDoMirTimer();  // a tick that arrives while the loop lets events through
        EXPECT_FALSE(form->mirroringNow());
    });
    EXPECT_EQ(nested, 3);
    ASSERT_TRUE(form->mirroringNow());
    EXPECT_EQ(form->settings().DoneStandard, 1);  // one run, counted once
}

TEST_F(MainFormTest, ARunStartedByACommandWhileTheLoadIsMeasuredIsTheOnlyRun)
{
    bool commanded = false;
    tickWhileTheLoadIsMeasured([&] {
        if (!commanded)
            commanded = form->runCommand(true, nullptr);  // the user chose a complete run meanwhile
    });
    ASSERT_TRUE(commanded);
    EXPECT_FALSE(form->standardRun());
    EXPECT_EQ(form->settings().DoneStandard, 0);
}

TEST_F(MainFormTest, AQuitChosenWhileTheLoadIsMeasuredStartsNoRun)
{
    tickWhileTheLoadIsMeasured([&] {
        if (!form->exiting())
            form->Exit1Click();
    });
    EXPECT_TRUE(form->exiting());
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_EQ(stored().DoneStandard, 0);
}

// ---- the run kind --------------------------------------------------------------------------

TEST_F(MainFormTest, EveryThirdRunIsCompleteAndACompleteCommandResetsTheCounter)
{
    settings.Mirroring = true;
    settings.Interval = 0;
    settings.EveryTimes = 2;
    writeList();
    create();
    std::vector<bool> kinds;
    for (int i = 0; i < 4; ++i) {
        form->tmrDoMirTimer();
        ASSERT_TRUE(form->mirroringNow());
        kinds.push_back(form->standardRun());
        waitForIdle();
    }
    EXPECT_EQ(kinds, (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(form->settings().DoneStandard, 1);

    form->mnuForceCompletedNowClick();
    EXPECT_FALSE(form->standardRun());
    EXPECT_EQ(form->settings().DoneStandard, 0);
    waitForIdle();
    EXPECT_TRUE(pathExists(dir / "top/History1"));
}

TEST_F(MainFormTest, TheStartRunFollowsTheCounter)
{
    settings.MirOnStart = true;
    settings.EveryTimes = 2;
    settings.DoneStandard = 2;
    writeList();
    create();
    ASSERT_TRUE(form->mirroringNow());
    EXPECT_FALSE(form->standardRun());
    EXPECT_EQ(form->settings().DoneStandard, 0);
}

// renvo-run from cron, between the tray program's start and its next run and exit.
TEST_F(MainFormTest, TheRunKindAfterACronRunFollowsTheHivesCounterAndTheExitKeepsIt)
{
    if (qEnvironmentVariableIsEmpty("RENVO_TEST_BIN"))
        GTEST_SKIP() << "RENVO_TEST_BIN names the programs' folder (ctest sets it)";
    struct Case {
        const char* runs;  // in order: C a cron run, T a standard-run command of the tray
        bool complete;     // the kind the tray's last run must be
        int storedCount;   // DoneStandard in the hive after the tray's exit
    };
    const Case cases[] = {{"T", false, 1}, {"CT", false, 2}, {"CCT", true, 0}, {"CC", false, 2}, {"TCT", true, 0}};
    hive = dir / "cfg/Tovan/user.reg";  // where renvo-run finds it
    settings.EveryTimes = 2;
    settings.DoneStandard = 0;
    settings.TaskPriority = 2;
    writeList();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runs);
        create();
        form->settings().Mirroring = !settings.Mirroring;  // the tray menu's toggle
        for (const char* r = c.runs; *r; ++r) {
            if (*r == 'T') {
                ASSERT_TRUE(form->runCommand(false, nullptr));
                EXPECT_EQ(form->standardRun(), r[1] != 0 || !c.complete);
                waitForIdle();
                continue;
            }
            QProcess cron;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("RENVO_HOME"), QString::fromStdString(folder));
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir / "cfg"));
            cron.setProcessEnvironment(env);
            cron.start(QString::fromLocal8Bit(qgetenv("RENVO_TEST_BIN")) + QStringLiteral("/renvo-run"), {});
            ASSERT_TRUE(cron.waitForFinished(60000));
            ASSERT_EQ(cron.exitCode(), 0) << cron.readAllStandardError().toStdString();
        }
        form->Exit1Click();
        const TSettings after = stored();
        EXPECT_EQ(after.DoneStandard, c.storedCount);
        EXPECT_EQ(after.Mirroring, !settings.Mirroring);
        form.reset();
    }
}

TEST_F(MainFormTest, EveryCommandDuringARunIsRefusedAndChangesNothing)
{
    writeList();
    create();
    ASSERT_TRUE(form->runCommand(false, nullptr));
    // The run waits for its start step, which this thread has not served yet.
    EXPECT_EQ(RunLock::tryAcquire(folder).state(), RunLock::State::busy);  // renvo-run must wait
    const int counter = form->settings().DoneStandard;
    for (int i = 0; i < 4; ++i)
        prompt.expect(kRefusalCaption, PromptAnswer::Ok);
    form->mnuForceNowClick();
    form->mnuForceCompletedNowClick();
    form->mnuEditListClick();
    form->mnuPropertyClick();
    EXPECT_EQ(form->settings().DoneStandard, counter);
    EXPECT_TRUE(form->standardRun());
    EXPECT_EQ(form->listEditor().current(), nullptr);
    waitForIdle();
}

TEST_F(MainFormTest, ARunCommandWithoutAListFileWarnsAndStartsNothing)
{
    prompt.expect(kListFileWarningCaption, PromptAnswer::Ok);
    create();
    prompt.expect(kListFileWarningCaption, PromptAnswer::Ok);
    EXPECT_FALSE(form->runCommand(true, nullptr));
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_EQ(form->settings().DoneStandard, 0);
}

// ---- the progress window -------------------------------------------------------------------

TEST_F(MainFormTest, TheProgressWindowLivesForTheRunAndOnlyWhenItIsWanted)
{
    settings.ShowProgressDialog = true;
    writeList();
    create();
    QSignalSpy finished(form.get(), &TfrmMain::runFinished);
    ASSERT_TRUE(form->runCommand(true, nullptr));
    ASSERT_NE(form->progressWindow(), nullptr);
    EXPECT_EQ(form->progressWindow()->windowTitle(), QStringLiteral("完全ミラーリング中..."));
    waitForIdle();
    EXPECT_EQ(form->progressWindow(), nullptr);
    EXPECT_EQ(finished.count(), 1);

    form->settings().ShowProgressDialog = false;
    ASSERT_TRUE(form->runCommand(false, nullptr));
    EXPECT_EQ(form->progressWindow(), nullptr);
    EXPECT_TRUE(form->mirroringNow());
    waitForIdle();
    EXPECT_EQ(finished.count(), 2);
}

// ---- the tooltip ---------------------------------------------------------------------------

TEST_F(MainFormTest, TooltipNamesTheNextRunAndALastRunThatFailed)
{
    settings.Mirroring = true;
    settings.Interval = minutesSpan(90);
    writeList("../..");  // a destination no run may use: the record is skipped
    create();
    EXPECT_EQ(form->tipText(), QStringLiteral("Renvo - 次回予定 1 時間 30 分後"));
    EXPECT_EQ(form->trayIcon().TipHelp(), QStringLiteral("Renvo"));  // until the scheduler's first look
    form->tmrDoMirTimer();  // not due yet
    EXPECT_EQ(form->trayIcon().TipHelp(), form->tipText());
    clock.advanceMinutes(90 - 59.9 / 60);
    EXPECT_EQ(form->tipText(), QStringLiteral("Renvo - 次回予定 0 時間 0 分後"));
    clock.advanceMinutes(59.9 / 60 + 61);  // 61 minutes past the due time
    EXPECT_EQ(form->tipText(), QStringLiteral("Renvo - 次回予定 1 時間 1 分後"));

    form->mnuForceNowClick();
    waitForIdle();
    ASSERT_TRUE(form->lastOutcome().has_value());
    EXPECT_EQ(form->lastOutcome()->skippedItems, 1u);
    // One notification names the failure and the log to read.
    EXPECT_NE(form->lastNotice().indexOf(QStringLiteral("除外した項目 1 件")), -1);
    EXPECT_NE(form->lastNotice().indexOf(QString::fromStdString(settings.LogFile)), -1);
    EXPECT_EQ(form->trayIcon().TipHelp(), QStringLiteral("Renvo - 次回予定 1 時間 30 分後\n前回: 除外した項目 1 件"));

    form->settings().Mirroring = false;
    form->triMainMouseMove();
    EXPECT_EQ(form->trayIcon().TipHelp(), QStringLiteral("Renvo - 手動実行モードです\n前回: 除外した項目 1 件"));
}

// ---- the tray menu -------------------------------------------------------------------------

TEST_F(MainFormTest, TrayMenuItemsInOrderWithTheirMnemonicsAndTheDefault)
{
    writeList();
    create();
    QStringList texts;
    for (QAction* action : form->trayMenu().actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts, (QStringList{"リストの編集(&L)...", "環境設定(&V)...", "-", "自動実行(&A)",
                                  "標準ミラーリング実行(&E)...", "完全ミラーリング実行(&C)", "-",
                                  "ログファイルの表示(&D)", "-", "ヘルプ(&H)", "-", "終了(&Q)"}));
    EXPECT_EQ(form->trayMenu().defaultAction(), form->mnuEditList);
    QStringList help;
    for (QAction* action : form->Help1->actions())
        help << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(help, (QStringList{"バージョン情報(&A)...", "-", "目次(&C)", "トピックの検索(&S)...",
                                 "ヘルプの使い方(&H)", "-", "トレイのアイコン(&T)"}));
    for (QAction* glyphed : {form->mnuProperty, form->mnuForceNow, form->mnuForceCompletedNow, form->mnuShowLogfile,
                             form->Help1->menuAction(), form->Contents1})
        EXPECT_FALSE(glyphed->icon().isNull()) << glyphed->text().toStdString();
    for (QAction* plain : {form->mnuEditList, form->mnuAuto, form->Exit1, form->mnuAbout})
        EXPECT_TRUE(plain->icon().isNull()) << plain->text().toStdString();
}

TEST_F(MainFormTest, MenuItemsReachTheirCommandsAndTheIconIsShown)
{
    writeList();
    create();
    EXPECT_TRUE(form->trayIcon().Visible());
    EXPECT_FALSE(form->trayIcon().Icon().isNull());
    EXPECT_EQ(form->trayIcon().RBPopupMenu(), &form->trayMenu());

    // The about box, modal; closed here by Escape.
    QString aboutTitle;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            aboutTitle = box->windowTitle();
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    closer.start(20);
    form->mnuAbout->trigger();
    // (QtTest's QTRY_ macros only return on failure: GoogleTest would never hear of it.)
    EXPECT_TRUE(QTest::qWaitFor([&] { return aboutTitle == QStringLiteral("バージョン情報"); }, 5000))
        << aboutTitle.toStdString();
    closer.stop();

    form->settings().Mirroring = true;
    emit form->trayMenu().aboutToShow();  // the menu opens: the check follows the setting
    EXPECT_TRUE(form->mnuAuto->isChecked());

    QSignalSpy finished(form.get(), &TfrmMain::runFinished);
    form->mnuForceCompletedNow->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->mirroringNow());
    EXPECT_FALSE(form->standardRun());
    waitForIdle();
    form->mnuForceNow->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->mirroringNow());
    EXPECT_TRUE(form->standardRun());
    waitForIdle();

    form->mnuEditList->trigger();
    QCoreApplication::processEvents();
    TfrmConfig* editor = form->listEditor().current();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    // The icon's double click, and the command again: the open editor comes forward, no second.
    editor->showMinimized();
    form->trayIcon().handleMessage(TrayMessage::LButtonDblClk);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !editor->isMinimized(); }, 5000));
    form->mnuEditListClick();
    EXPECT_EQ(form->listEditor().current(), editor);
    editor->hide();

    // The settings dialog in settings mode, blocking nothing (the tray's menu stays alive
    // meanwhile), and one at a time.
    QString dialogTitle;
    std::set<QDialog*> dialogs;
    Qt::WindowModality modality = Qt::ApplicationModal;
    QTimer probe;
    probe.setInterval(10);
    int ticks = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        QDialog* d = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* shown = qobject_cast<QDialog*>(w); shown && shown->isVisible() && (!d || !dialogs.count(shown)))
                d = shown;
        if (d == nullptr)
            return;
        if (dialogs.insert(d).second && dialogs.size() == 1) {
            dialogTitle = d->windowTitle();
            modality = d->windowModality();
            // The tray's command again, while it is open.
            QTimer::singleShot(0, form.get(), [&] { form->mnuPropertyClick(); });
            return;
        }
        if (dialogs.size() > 1 || ++ticks > 5)
            d->reject();
    });
    probe.start();
    form->mnuProperty->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogTitle.isEmpty(); }, 5000));
    probe.stop();
    EXPECT_EQ(dialogTitle, QString::fromUtf8(kSettingsCaption));
    EXPECT_EQ(modality, Qt::NonModal);
    EXPECT_EQ(dialogs.size(), 1u);

    QSignalSpy exit(&form->events(), &RenvoAppEvents::exitRequested);
    form->Exit1->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(MainFormTest, AutoModeFromTheMenuIsSavedOnlyByExit)
{
    writeList();
    create();
    form->settings().Mirroring = true;  // changed elsewhere (the list editor's toggle)
    form->PopupMenu1Popup();
    EXPECT_TRUE(form->mnuAuto->isChecked());
    form->mnuAuto->trigger();  // the action inverts its check; the queued command applies it
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->settings().Mirroring);
    EXPECT_EQ(form->trayIcon().TipHelp(), QStringLiteral("Renvo - 手動実行モードです"));
    form->mnuAuto->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->settings().Mirroring);
    EXPECT_FALSE(stored().Mirroring);  // nothing saved yet

    QSignalSpy exit(&form->events(), &RenvoAppEvents::exitRequested);
    form->Exit1Click();
    EXPECT_EQ(exit.count(), 1);
    EXPECT_FALSE(form->timer().isActive());
    EXPECT_TRUE(stored().Mirroring);
}

// Takes the desktop's "open" of local files in a test.
class OpenedFiles : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_INVOKABLE void open(const QUrl& url) { urls << url; }
};

TEST_F(MainFormTest, ShowLogOpensTheLogFileWithTheDesktop)
{
    writeList();
    create();
    OpenedFiles opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    form->mnuShowLogfile->trigger();
    QCoreApplication::processEvents();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(QString::fromStdString(settings.LogFile)));
}

// ---- exit during a run ---------------------------------------------------------------------

TEST_F(MainFormTest, ExitDuringARunStopsItWaitsForItAndSavesTheSettings)
{
    // Copies slow enough that the run is still copying when the exit comes.
    for (int i = 0; i < 200; ++i)
        writeFile(dir / ("src/many/f" + std::to_string(i)), std::string(1000, 'x'));
    writeList();
    setCopyHook([](const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    struct Unhook {
        ~Unhook() { setCopyHook(nullptr); }
    } unhook;
    settings.ShowProgressDialog = true;
    create();
    ASSERT_TRUE(form->runCommand(false, nullptr));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const RunProgress p = form->currentRun()->progress();
        return p.phase == RunPhase::Mirror && p.position >= 2;  // a copy has been made
    }, 10000));
    // The window shows the run's progress, read from it by the timer.
    ASSERT_NE(form->progressWindow(), nullptr);
    // The window's timer catches up with the run's phase on its next tick.
    TfrmProgress* window = form->progressWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->lblFiles->text() != QStringLiteral("0 / 0"); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->lblCurWork->text() == QString::fromUtf8(phaseCaption(RunPhase::Mirror)); }, 5000))
        << window->lblCurWork->text().toStdString();
    // The start step holds the scheduler and animates the icon; the hourglass is on.
    EXPECT_FALSE(form->timer().isActive());
    EXPECT_TRUE(form->trayIcon().isAnimating());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QSignalSpy exit(&form->events(), &RenvoAppEvents::exitRequested);
    form->Exit1Click();  // no cancel box: the boxes of a run are silent while the program ends
    EXPECT_EQ(exit.count(), 1);
    ASSERT_TRUE(form->lastOutcome().has_value());
    EXPECT_EQ(form->lastOutcome()->end, RunEnd::Cancelled) << form->lastOutcome()->copies;
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_EQ(form->currentRun(), nullptr);
    EXPECT_EQ(form->progressWindow(), nullptr);
    EXPECT_FALSE(form->trayIcon().isAnimating());
    QCoreApplication::processEvents();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(stored().DoneStandard, 1);
    // What was copied is whole: every file under a final name has its source's size.
    const std::filesystem::path latest = dir / "top/Latest/src";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(latest)) {
        if (!entry.is_regular_file() || isTemporaryName(entry.path().filename().string()))
            continue;
        const auto rel = std::filesystem::relative(entry.path(), latest);
        EXPECT_EQ(entry.file_size(), std::filesystem::file_size(dir / ("src/" + rel.string()))) << rel;
    }
}

TEST_F(MainFormTest, HelpEntriesOpenTheHelpWindowAtTheirTopic)
{
    writeList();
    create();
    form->T1->trigger();
    EXPECT_TRUE(form->helpWindow().isVisible());
    EXPECT_TRUE(form->helpWindow().currentPage().toString().endsWith(QStringLiteral("9.html")))
        << form->helpWindow().currentPage().toString().toStdString();
    form->Contents1->trigger();
    EXPECT_TRUE(form->helpWindow().currentPage().toString().endsWith(QStringLiteral("contents.html")));
    form->HowtoUseHelp1->trigger();
    EXPECT_TRUE(form->helpWindow().currentPage().toString().endsWith(QStringLiteral("howto.html")));
    form->SearchforHelpOn1->trigger();
    EXPECT_TRUE(form->helpWindow().currentPage().toString().endsWith(QStringLiteral("index.html")));
    form->helpWindow().close();
}

// ---- bad surroundings ----------------------------------------------------------------------

TEST_F(MainFormTest, WithoutATrayItSaysSoOnceAndALaterStartOpensTheListEditor)
{
    writeList();
    bool tray = false;
    ScriptedPrompt quiet;
    ASSERT_TRUE(SaveSettings(settings, quiet, hive));
    prompt.expect(kApplicationTitle, PromptAnswer::Ok);
    form = std::make_unique<TfrmMain>(ShellEnvironment{&prompt, &clock, folder, hive, [&] { return tray; }});
    form->FormCreate();
    EXPECT_EQ(prompt.asked.back().text, kNoTrayText);
    EXPECT_TRUE(form->timer().isActive());  // the program runs on, waiting for a tray

    // A later start (the application menu's entry) opens the list editor, then brings it forward.
    form->anotherStart();
    TfrmConfig* editor = form->listEditor().current();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    editor->showMinimized();
    form->anotherStart();
    EXPECT_EQ(form->listEditor().current(), editor);
    EXPECT_FALSE(editor->isMinimized());
    editor->hide();

    // Once a tray shows the icon, a later start with no window open opens nothing.
    tray = true;
    form->anotherStart();
    EXPECT_FALSE(editor->isVisible());
}

TEST_F(MainFormTest, ADamagedHiveIsToldAndTheProgramStartsWithDefaults)
{
    writeList();
    writeFile(hive, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo\n\"Mirroring\"=dword:zz\n");
    const std::string damaged = readFile(hive);
    prompt.expect(PromptAnswer::Ok);                              // the hive cannot be read
    prompt.expect(kFirstRunCaption, PromptAnswer::Ok);            // so this is a first run
    form = std::make_unique<TfrmMain>(ShellEnvironment{&prompt, &clock, folder, hive});
    form->FormCreate();
    EXPECT_TRUE(form->timer().isActive());
    EXPECT_EQ(form->settings(), defaultSettings(folder));
    prompt.expectAllAnswered();
    // The damaged file is kept for the user, not overwritten behind their back.
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        kept = kept || (entry.path() != hive && readFile(entry.path().string()) == damaged);
    EXPECT_TRUE(kept || readFile(hive) == damaged);
}

TEST_F(MainFormTest, AnUnwritableProgramFolderGivesABoxOnceAndTheSchedulerGoesOn)
{
    settings.Mirroring = true;
    settings.Postpone = 0;  // every tick tries again
    writeList();
    create();
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    {
        renvo::test::WithoutDacOverride guard;
        if (!guard.effective())
            GTEST_SKIP() << "permissions do not bind here";
        clock.advanceMinutes(31);
        prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);  // the run lock cannot be made
        form->tmrDoMirTimer();
        form->tmrDoMirTimer();  // postponed again, without a second box
        EXPECT_FALSE(form->mirroringNow());
        EXPECT_TRUE(form->timer().isActive());
        prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);  // a command always says why
        EXPECT_FALSE(form->runCommand(false, nullptr));
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    ASSERT_EQ(prompt.asked.size(), 2u);
    EXPECT_NE(prompt.asked[0].text.find("_rvlock"), std::string::npos) << prompt.asked[0].text;
}

TEST_F(MainFormTest, ALogThatCannotBeWrittenIsTheRunsBoxOnTheGuiThreadAndTheTooltipSaysSo)
{
    settings.LogFile = dir / "logs";  // a folder: no file can be opened there
    (void)forceDirectories(settings.LogFile);
    writeList();
    create();
    prompt.expect(kLogWriteErrorCaption, PromptAnswer::Ok);
    ASSERT_TRUE(form->runCommand(false, nullptr));
    waitForIdle();
    ASSERT_TRUE(form->lastOutcome().has_value());
    EXPECT_FALSE(form->lastOutcome()->logError.empty());
    EXPECT_TRUE(form->timer().isActive());
    EXPECT_NE(form->tipText().indexOf(QStringLiteral("前回: ログ書き込み失敗")), -1);
    EXPECT_EQ(readFile(dir / "top/Latest/src/a.txt"), "alpha");  // the backup happened all the same
}

// ---- the program itself ---------------------------------------------------------------------

TEST(RenvoProgram, WithoutADisplayItSaysSoInOneLineAndFails)
{
    if (qEnvironmentVariableIsEmpty("RENVO_TEST_BIN"))
        GTEST_SKIP() << "RENVO_TEST_BIN names the programs' folder (ctest sets it)";
    QProcess renvo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    TempDir home;
    env.insert(QStringLiteral("RENVO_HOME"), QString::fromStdString(home.path()));
    renvo.setProcessEnvironment(env);
    renvo.start(QString::fromLocal8Bit(qgetenv("RENVO_TEST_BIN")) + QStringLiteral("/Renvo"), {});
    ASSERT_TRUE(renvo.waitForFinished(30000));
    EXPECT_NE(renvo.exitCode(), 0);
    const QString err = QString::fromUtf8(renvo.readAllStandardError());
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
    EXPECT_NE(err.indexOf(QStringLiteral("renvo-run")), -1);
    EXPECT_NE(err.indexOf(QStringLiteral("デスクトップ")), -1);
}

// ---- the pure decisions --------------------------------------------------------------------

TEST(SchedulerTexts, LastRunLineAndNoticeNameEveryKindOfFailure)
{
    RunOutcome ok;
    ok.end = RunEnd::Completed;
    ok.copies = 10;
    EXPECT_EQ(lastRunLine(ok), "");
    EXPECT_EQ(runFailureNotice(ok, "/l"), "");

    RunOutcome failed = ok;
    failed.failedCopies = 3;
    failed.failedDeletions = 1;
    EXPECT_EQ(lastRunLine(failed), "前回: 複製失敗 3 件，削除失敗 1 件");
    const std::string notice = runFailureNotice(failed, "/home/me/logfile.txt");
    EXPECT_NE(notice.find("複製失敗 3 件"), std::string::npos);
    EXPECT_NE(notice.find("/home/me/logfile.txt"), std::string::npos);

    RunOutcome error;
    error.end = RunEnd::Failed;
    error.error = "disk gone";
    EXPECT_EQ(lastRunLine(error), "前回: エラーで中断");
    EXPECT_NE(runFailureNotice(error, "/l").find("disk gone"), std::string::npos);

    RunOutcome cancelled;
    cancelled.end = RunEnd::Cancelled;
    EXPECT_EQ(lastRunLine(cancelled), "前回: キャンセル");
    EXPECT_EQ(runFailureNotice(cancelled, "/l"), "");  // the user asked for it
    cancelled.unreadableFolders = 2;
    EXPECT_NE(runFailureNotice(cancelled, "/l").find("読めないフォルダ 2 件"), std::string::npos);

    // A backup drive that is not there, sources that are not there, a history not made.
    RunOutcome refused;
    refused.end = RunEnd::TopUnavailable;
    refused.error = topUnavailableText("/media/backup", true);
    EXPECT_EQ(lastRunLine(refused), "前回: ミラーリング先が見つかりません");
    EXPECT_NE(runFailureNotice(refused, "/l").find("/media/backup"), std::string::npos);
    RunOutcome partial = ok;
    partial.unavailableItems = 1;
    partial.failedHistory = 2;
    EXPECT_EQ(lastRunLine(partial), "前回: 見つからない対象 1 件，履歴の失敗 2 件");
}

TEST(SchedulerTexts, OnlyTheFractionOfIntervalAndPostponeCounts)
{
    TSettings s;
    s.Mirroring = true;
    s.Interval = 2 + minutesSpan(30);  // two whole days are ignored
    s.Postpone = 1 + minutesSpan(5);
    const double last = encodeDateTime(2026, 1, 1, 0, 0, 0);
    EXPECT_FALSE(runDue(s, last, last + minutesSpan(29)));
    EXPECT_TRUE(runDue(s, last, last + minutesSpan(30)));
    EXPECT_NEAR(postponedRunTime(s, last), last + minutesSpan(5), 1e-12);
    EXPECT_EQ(nextRunTip(s, last, last), "Renvo - 次回予定 0 時間 30 分後");
}

TEST(HelpWindowLife, AClosedWindowIsLetGoAndTheNextRequestMakesItAnew)
{
    test::TempDir dir;
    test::ScriptedPrompt prompt;
    test::FixedClock clock;
    auto hub = test::makeTestHub(prompt, clock, dir.path() + "/", dir / "user.reg", dir.path());
    hub->showHelp(HELP_CONTEXT, 9);
    QPointer<HelpWindow> first = &hub->helpWindow();
    ASSERT_TRUE(first->isVisible());
    first->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));

    hub->showHelp(HELP_KEY, 0);
    ASSERT_TRUE(hub->helpWindow().isVisible());
    EXPECT_EQ(hub->helpWindow().currentPage(), QUrl(QStringLiteral("qrc:/help/index.html")));

    // Shown again before the release came round: the window is in use and stays.
    QPointer<HelpWindow> second = &hub->helpWindow();
    second->close();
    hub->showHelp(HELP_FINDER, 0);
    QTest::qWait(50);
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->currentPage(), QUrl(QStringLiteral("qrc:/help/contents.html")));
    second->close();
    prompt.expectAllAnswered();
}

}  // namespace

#include "MainFormTest.moc"
