// The scheduler at rest: how long it may sleep, when the tooltip changes, and the hub arming
// its timers for the due time, for open windows, busy machines, runs, clock changes and the
// tray kind; the clock watch on the real wall clock.

#include <QDialog>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#if defined(__linux__)
#include <sys/timex.h>
#endif

#include "common/TestHub.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "shell/ClockWatch.h"
#include "shell/Main.h"
#include "shell/Scheduler.h"

using namespace renvo;
using renvo::test::FixedClock;

namespace {

constexpr int64_t kMinute = 60 * 1000;
constexpr double kMsDay = 24.0 * 60 * 60 * 1000;

TSettings autoEvery(int minutes)
{
    TSettings s;
    s.Mirroring = true;
    s.Interval = minutesSpan(minutes);
    return s;
}

// ---- the pure decisions --------------------------------------------------------------------

TEST(SchedulerSleep, UntilTheDueTimeAtMostTheLongestSleepAndNothingOnceDue)
{
    const double now = FixedClock().now();
    TSettings s = autoEvery(10);
    EXPECT_NEAR(double(msUntilDue(s, now, now, 15 * kMinute)), 10.0 * kMinute, 1);
    EXPECT_NEAR(double(msUntilDue(s, now - minutesSpan(4), now, 15 * kMinute)), 6.0 * kMinute, 1);
    EXPECT_EQ(msUntilDue(s, now, now, 5 * kMinute), 5 * kMinute);  // further ahead than the longest
    EXPECT_EQ(msUntilDue(s, now - minutesSpan(10), now, 15 * kMinute), 0);  // due exactly now
    EXPECT_EQ(msUntilDue(s, now - minutesSpan(60), now, 15 * kMinute), 0);  // long past
    // A due time a fraction of a millisecond ahead is still ahead: the look must not land early.
    EXPECT_EQ(msUntilDue(s, now - minutesSpan(10) + 0.3 / kMsDay, now, 15 * kMinute), 1);
    s.Interval = 3 + minutesSpan(10);  // whole days do not count
    EXPECT_NEAR(double(msUntilDue(s, now, now, 15 * kMinute)), 10.0 * kMinute, 1);
    s.Mirroring = false;
    EXPECT_EQ(msUntilDue(s, now - 5, now, 15 * kMinute), 15 * kMinute);  // manual: nothing falls due
}

TEST(SchedulerSleep, TheTooltipTimerEndsJustWhenTheTextChanges)
{
    const double now = FixedClock().now();
    const TSettings s = autoEvery(90);
    // From 90 minutes ahead to 61 minutes past the due time, in uneven steps: the text stays
    // the same for one millisecond less than the wait and differs after the wait.
    for (int64_t offsetMs = -61 * kMinute - 15000; offsetMs <= 90 * kMinute; offsetMs += 7 * kMinute + 4321) {
        const double last = now - minutesSpan(90) + double(offsetMs) / kMsDay;
        const int64_t wait = msUntilTipChanges(s, last, now);
        ASSERT_GT(wait, 0) << offsetMs;
        ASSERT_LE(wait, kMinute) << offsetMs;
        const std::string tip = nextRunTip(s, last, now);
        EXPECT_EQ(nextRunTip(s, last, now + double(wait - 1) / kMsDay), tip) << offsetMs;
        EXPECT_NE(nextRunTip(s, last, now + double(wait) / kMsDay), tip) << offsetMs;
    }
    TSettings manual = s;
    manual.Mirroring = false;
    EXPECT_EQ(msUntilTipChanges(manual, now, now), -1);
}

// ---- the hub -------------------------------------------------------------------------------

class SchedulerArming : public test::HubTest {
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        settings.Mirroring = true;
        settings.Interval = minutesSpan(10);
        writeList();
    }

    // The scheduler's wait, in minutes.
    double sleep() const { return form->timer().interval() / double(kMinute); }
};

TEST_F(SchedulerArming, ItSleepsUntilTheDueTimeWhateverIsOpenAndACommitWakesIt)
{
    create();
    ASSERT_TRUE(form->timer().isActive());
    EXPECT_TRUE(form->timer().isSingleShot());
    EXPECT_NEAR(sleep(), 10, 0.001);

    // An open window of the program changes nothing by itself.
    QDialog window;
    window.setWindowTitle(QStringLiteral("Renvo の環境設定"));
    window.show();
    QCoreApplication::processEvents();
    EXPECT_NEAR(sleep(), 10, 0.001);

    // Its commit is heard at once: the sleep ends at the new due time, at most the longest
    // sleep; the manual mode sleeps long.
    clock.advanceMinutes(2);
    TSettings changed = form->settings();
    changed.Interval = minutesSpan(30);
    form->commitSettings(changed);
    EXPECT_EQ(form->timer().interval(), kSchedulerLongestSleepMs);
    form->setLastRunTime(clock.now() - minutesSpan(25));
    EXPECT_NEAR(sleep(), 5, 0.001);
    changed.Interval = minutesSpan(20);
    form->commitSettings(changed);
    EXPECT_EQ(form->timer().interval(), kSchedulerTickMs);  // due already: the idle test's tick
    changed.Mirroring = false;
    form->commitSettings(changed);
    EXPECT_EQ(form->timer().interval(), kSchedulerLongestSleepMs);
    window.hide();
}

TEST_F(SchedulerArming, ManualModeSleepsLongAndAutoModeFromTheMenuLooksAtOnce)
{
    settings.Mirroring = false;
    create();
    EXPECT_EQ(form->timer().interval(), kSchedulerLongestSleepMs);
    clock.advanceMinutes(60);  // the due time lies long in the past
    form->mnuAuto->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->settings().Mirroring);
    EXPECT_EQ(form->timer().interval(), kSchedulerTickMs);
    form->tmrDoMirTimer();
    EXPECT_TRUE(form->mirroringNow());
}

TEST_F(SchedulerArming, ABusyMachineIsAskedAgainEveryTickUntilPostponeMovesTheDueTimeAhead)
{
    settings.IdleMode = 2;  // a load figure below 0 ms: never idle
    settings.IdleThreshold = 0;
    settings.Postpone = minutesSpan(5);
    create();
    form->idleDetector().processEvents = [] {};
    clock.advanceMinutes(22);  // due 12 minutes ago
    form->tmrDoMirTimer();     // 7 minutes past
    EXPECT_EQ(form->timer().interval(), kSchedulerTickMs);
    form->tmrDoMirTimer();  // 2 minutes past
    EXPECT_EQ(form->timer().interval(), kSchedulerTickMs);
    form->tmrDoMirTimer();  // 3 minutes ahead: sleep until then
    EXPECT_NEAR(sleep(), 3, 0.001);
    EXPECT_FALSE(form->mirroringNow());
}

TEST_F(SchedulerArming, AWaitingListFileDoesNotKeepTheTickGoing)
{
    create();
    ASSERT_EQ(deleteFile(folder + kListFileName).error(), 0);
    clock.advanceMinutes(11);
    form->tmrDoMirTimer();
    EXPECT_FALSE(form->mirroringNow());
    EXPECT_EQ(form->timer().interval(), kSchedulerLongestSleepMs);
}

TEST_F(SchedulerArming, ARunHoldsTheTimerItsEndSleepsAnIntervalAndAClockChangeIsSeenAtOnce)
{
    create();
    QSignalSpy finished(form.get(), &TfrmMain::runFinished);
    clock.advanceMinutes(10);
    form->tmrDoMirTimer();
    ASSERT_TRUE(form->mirroringNow());
    EXPECT_FALSE(form->timer().isActive());  // nothing to look at until the run has ended
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_TRUE(form->timer().isActive());
    EXPECT_NEAR(sleep(), 10, 0.001);

    // The wall clock was set 8 minutes ahead (or the machine slept that long).
    clock.advanceMinutes(8);
    form->clockChanged();
    EXPECT_NEAR(sleep(), 2, 0.001);
    clock.advanceMinutes(3);
    form->clockChanged();
    EXPECT_EQ(form->timer().interval(), kSchedulerTickMs);

    // The exit leaves nothing armed, whatever comes after it.
    form->Exit1Click();
    form->clockChanged();
    EXPECT_FALSE(form->timer().isActive());
}

TEST_F(SchedulerArming, TheTooltipTimerRunsForAStatusNotifierHostInAutoModeOnly)
{
    create();
    EXPECT_FALSE(form->tipTimer().isActive());  // the XEmbed tray renews the tip on hover

    form->trayIcon().setTrayKindForTest(TrayKind::StatusNotifier);
    form->clockChanged();
    ASSERT_TRUE(form->tipTimer().isActive());
    EXPECT_EQ(form->tipTimer().interval(), msUntilTipChanges(form->settings(), form->lastRunTime(), clock.now()));

    // Due in 1 min 0.05 s: the timer ends 50 ms from now and renews a tip that is stale by then.
    form->setLastRunTime(clock.now() - minutesSpan(10) + (kMinute + 50) / kMsDay);
    EXPECT_NEAR(form->tipTimer().interval(), 51, 1);
    const QString before = form->trayIcon().TipHelp();
    clock.advanceMinutes(0.5);
    ASSERT_NE(form->tipText(), before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->trayIcon().TipHelp() == form->tipText(); }, 5000));
    EXPECT_TRUE(form->tipTimer().isActive());  // armed for the next minute

    form->settings().Mirroring = false;
    form->clockChanged();
    EXPECT_FALSE(form->tipTimer().isActive());
    EXPECT_EQ(form->trayIcon().TipHelp(), QStringLiteral("Renvo - 手動実行モードです"));
}

// ---- the wall clock ------------------------------------------------------------------------

TEST(ClockWatchTest, ASteppedWallClockIsToldAtOnce)
{
    ClockWatch watch;
#if defined(__linux__)
    ASSERT_TRUE(watch.active());
    // It steps the machine's own clock, which other programs share: only when asked for.
    if (qEnvironmentVariableIsEmpty("RENVO_TEST_STEP_CLOCK"))
        GTEST_SKIP() << "steps the system clock by 1 ns: set RENVO_TEST_STEP_CLOCK=1 to run it";
    QSignalSpy changed(&watch, &ClockWatch::clockChanged);
    // One nanosecond ahead: a step like any other to the kernel, and harmless to the machine.
    // The call writes the clock's state (the time of day among it) back into its argument,
    // which must never be handed back as a step: a fresh one each time.
    auto stepAhead = [] {
        timex step{};
        step.modes = ADJ_SETOFFSET | ADJ_NANO;
        step.time.tv_usec = 1;
        return ::clock_adjtime(CLOCK_REALTIME, &step) >= 0 ? 0 : errno;  // success: the state
    };
    if (const int err = stepAhead(); err != 0) {
        if (err == EPERM)
            GTEST_SKIP() << "setting the clock needs CAP_SYS_TIME";
        FAIL() << "clock_adjtime: " << err;
    }
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(changed.count(), 1);
    // Still watching: the next step is told too.
    ASSERT_EQ(stepAhead(), 0);
    EXPECT_TRUE(changed.wait(5000));
#else
    EXPECT_FALSE(watch.active());
#endif
}

}  // namespace
