// The settings pages' values: loading, storing and the questions of the store, on the
// offscreen platform over real folders in a temporary folder.
#include "SettingsPagesFixture.h"

#include <gtest/gtest.h>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::Pages;
using test::writeFile;

TEST(SettingsPages, LoadShowsEveryValueAndStoreGivesItBack)
{
    Pages d;
    const TSettings s = d.sample();
    d.p->load(s);
    EXPECT_EQ(d.p->edtBackDir->text().toStdString(), s.MirTopFolder);
    EXPECT_TRUE(d.p->chkExecute->isChecked());
    EXPECT_EQ(d.p->updInterval->value(), 90);
    EXPECT_EQ(d.p->Edit3->text(), QStringLiteral("90"));
    EXPECT_EQ(d.p->updEveryTimes->value(), s.EveryTimes);
    EXPECT_EQ(d.p->updKeepHistory->value(), 12);
    EXPECT_TRUE(d.p->chkMirOnStart->isChecked());
    EXPECT_TRUE(d.p->rdbFolderTable->isChecked());
    EXPECT_TRUE(d.p->rdbCPU->isChecked());
    EXPECT_EQ(d.p->updCPU->value(), 45);
    EXPECT_EQ(d.p->updOLF->value(), 0) << "the other mode's spin keeps 0";
    EXPECT_TRUE(d.p->chkIdlePostpone->isChecked());
    EXPECT_EQ(d.p->updPostpone->value(), 7);
    EXPECT_FALSE(d.p->chkDelOnNotExists->isChecked());
    EXPECT_FALSE(d.p->chkDelFilesOnDelItem->isChecked());
    EXPECT_FALSE(d.p->chkQueryDelFiles->isChecked());
    EXPECT_FALSE(d.p->chkShowProgressDialog->isChecked());
    EXPECT_EQ(d.p->cmbProgressPosition->currentIndex(), 2);
    EXPECT_FALSE(d.p->chkLogFile->isChecked());
    EXPECT_TRUE(d.p->chkLogAppend->isChecked());
    EXPECT_EQ(d.p->edtLogFile->text().toStdString(), s.LogFile);
    EXPECT_EQ(d.p->trbTaskPriority->value(), 3);
    EXPECT_EQ(d.p->trbTaskPriority->toolTip(), QStringLiteral("やや低め・他のタスクを若干優先します"));

    TSettings back = defaultSettings("/elsewhere/");
    back.IdleReserved = s.IdleReserved;
    back.DoneStandard = s.DoneStandard;
    ASSERT_TRUE(d.p->store(back));
    EXPECT_EQ(back, s);
    EXPECT_TRUE(d.prompt.asked.empty());
}

TEST(SettingsPages, SpansInWholeMinutes)
{
    Pages d;
    TSettings s = d.sample();
    // Seconds and whole days are dropped from what is shown.
    s.Interval = minutesSpan(90) + 30.0 / 86400.0 + 2.0;
    s.Postpone = 0;
    d.p->load(s);
    EXPECT_EQ(d.p->updInterval->value(), 90);
    EXPECT_EQ(d.p->updPostpone->value(), 0);
    EXPECT_FALSE(d.p->chkIdlePostpone->isChecked());

    for (int minutes : {0, 1, 90, 1439}) {
        d.p->updInterval->setValue(minutes);
        TSettings out = s;
        ASSERT_TRUE(d.p->store(out));
        EXPECT_EQ(out.Interval, minutesSpan(minutes)) << minutes;
    }

    // Postpone 0 whatever the spin shows while the box is clear; the spin shows it too.
    d.p->chkIdlePostpone->setChecked(true);
    d.p->updPostpone->setValue(60);
    TSettings out = s;
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.Postpone, minutesSpan(60));
    d.p->chkIdlePostpone->setChecked(false);
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.Postpone, 0.0);
    EXPECT_EQ(d.p->updPostpone->value(), 0);
    // The interval is stored with automatic runs off as well.
    d.p->chkExecute->setChecked(false);
    d.p->updInterval->setValue(1439);
    ASSERT_TRUE(d.p->store(out));
    EXPECT_FALSE(out.Mirroring);
    EXPECT_EQ(out.Interval, minutesSpan(1439));
}

TEST(SettingsPages, IdleModeAndThreshold)
{
    Pages d;
    TSettings s = d.sample();
    s.IdleMode = 2;
    s.IdleThreshold = 777;
    d.p->load(s);
    EXPECT_TRUE(d.p->rdbOLF->isChecked());
    EXPECT_EQ(d.p->updOLF->value(), 777);
    EXPECT_EQ(d.p->updCPU->value(), 0);

    // Mode 0 keeps the threshold of the mode before.
    d.p->rdbForce->setChecked(true);
    TSettings out = s;
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.IdleMode, 0);
    EXPECT_EQ(out.IdleThreshold, 777);

    d.p->rdbCPU->setChecked(true);
    d.p->updCPU->setValue(12);
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.IdleMode, 1);
    EXPECT_EQ(out.IdleThreshold, 12);
    EXPECT_EQ(out.IdleReserved, s.IdleReserved);
}

TEST(SettingsPages, OutOfRangeValuesAreShownClampedAndStoredAsShown)
{
    Pages d;
    TSettings s = d.sample();
    s.LimitHistory = 45;
    s.EveryTimes = -3;
    s.Interval = minutesSpan(1440 + 560);  // a day and 560 minutes: the day is dropped
    s.IdleMode = 5;                         // tested as RLF
    s.IdleThreshold = 12000;
    s.Postpone = minutesSpan(200);
    s.TaskPriority = 9;
    s.ProgressPosition = 7;
    s.FolderOption = 0;
    d.p->load(s);
    EXPECT_EQ(d.p->Edit1->text(), QStringLiteral("30"));
    EXPECT_EQ(d.p->Edit2->text(), QStringLiteral("0"));
    EXPECT_EQ(d.p->updInterval->value(), 560);
    EXPECT_TRUE(d.p->rdbOLF->isChecked());
    EXPECT_EQ(d.p->updOLF->value(), 9999);
    EXPECT_EQ(d.p->updPostpone->value(), 100);
    EXPECT_EQ(d.p->trbTaskPriority->value(), 5);
    EXPECT_EQ(d.p->cmbProgressPosition->currentIndex(), 3);
    EXPECT_TRUE(d.p->rdbFolderSync->isChecked());

    TSettings out = s;
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.LimitHistory, 30);
    EXPECT_EQ(out.EveryTimes, 0);
    EXPECT_EQ(out.Interval, minutesSpan(560));
    EXPECT_EQ(out.IdleMode, 2);
    EXPECT_EQ(out.IdleThreshold, 9999);
    EXPECT_EQ(out.Postpone, minutesSpan(100));
    EXPECT_EQ(out.TaskPriority, 5);
    EXPECT_EQ(out.ProgressPosition, 3);
    EXPECT_EQ(out.FolderOption, 1);

    s.IdleMode = 1;
    s.IdleThreshold = -20;
    d.p->load(s);
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.IdleThreshold, 0);
}

TEST(SettingsPages, NumberEditsStartAtZeroAndShowTheGroupSeparator)
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    {
        Pages d;
        const TSettings s = d.sample();
        for (QLineEdit* e : {d.p->Edit1, d.p->Edit2, d.p->Edit3, d.p->edtCPU, d.p->edtOLF, d.p->edtPostpone})
            EXPECT_EQ(e->text(), QStringLiteral("0"));
        d.p->updInterval->setValue(1439);
        EXPECT_EQ(d.p->Edit3->text(), QStringLiteral("1,439"));
        d.p->updOLF->setValue(9999);
        EXPECT_EQ(d.p->edtOLF->text(), QStringLiteral("9,999"));
        d.p->load(s);
        d.p->updInterval->setValue(1439);
        TSettings out = s;
        ASSERT_TRUE(d.p->store(out));
        EXPECT_EQ(out.Interval, minutesSpan(1439));
    }
    QLocale::setDefault(QLocale::c());
}

TEST(SettingsPages, TopFolderLosesTrailingDelimitersAndMustBeAbsolute)
{
    Pages d;
    TSettings s = d.sample();
    d.p->load(s);
    d.p->edtBackDir->setText(QString::fromStdString(d.tmp / "top///"));
    TSettings out = s;
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.MirTopFolder, d.tmp / "top");
    EXPECT_EQ(d.p->edtBackDir->text().toStdString(), d.tmp / "top");
    EXPECT_FALSE(fs::exists(d.tmp / "top")) << "neither tested nor created";

    d.p->edtBackDir->setText(QStringLiteral("//"));
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.MirTopFolder, "/");

    for (const char* relative : {"Mirrored Files", "", "./top/"}) {
        d.tabs->setCurrentWidget(d.p->tbsDetail);
        d.p->edtBackDir->setText(QString::fromUtf8(relative));
        d.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
        TSettings refused = s;
        EXPECT_FALSE(d.p->store(refused)) << relative;
        EXPECT_EQ(refused, s) << "nothing stored before the refusal";
        EXPECT_EQ(d.tabs->currentWidget(), d.p->tbsMirroring);
        d.prompt.expectAllAnswered();
        ASSERT_FALSE(d.prompt.asked.empty());
        EXPECT_EQ(d.prompt.asked.back().text, kTopFolderNotAbsoluteText);
        EXPECT_EQ(d.prompt.asked.back().icon, PromptIcon::Error);
    }
}

TEST(SettingsPages, MissingLogFolderIsCreatedOnYes)
{
    Pages d;
    TSettings s = d.sample();
    s.KeepLogFile = false;  // asked whether or not the log is kept
    s.LogFile = d.tmp / "a/b/c/run.log";
    d.p->load(s);
    d.prompt.expect(kLogFolderCaption, PromptAnswer::Yes);
    TSettings out = s;
    ASSERT_TRUE(d.p->store(out));
    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.asked.size(), 1u);
    const PromptMessage& q = d.prompt.asked[0];
    EXPECT_EQ(q.text, "ログファイルを記録するフォルダ " + (d.tmp / "a/b/c") + " は存在しません\r\n作成しますか？");
    EXPECT_EQ(q.icon, PromptIcon::Information);
    EXPECT_EQ(q.buttons, PromptButtons::YesNo);
    EXPECT_EQ(q.owner, d.dialog.get());
    EXPECT_TRUE(fs::is_directory(d.tmp / "a/b/c"));
    EXPECT_FALSE(fs::exists(d.tmp / "a/b/c/run.log"));
    EXPECT_EQ(out.LogFile, s.LogFile);

    // Now it exists: no question.
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(d.prompt.asked.size(), 1u);
    // A log in the root names the root, which exists.
    d.p->edtLogFile->setText(QStringLiteral("/renvo-log.txt"));
    ASSERT_TRUE(d.p->store(out));
    EXPECT_EQ(out.LogFile, "/renvo-log.txt");
    EXPECT_EQ(d.prompt.asked.size(), 1u);
}

TEST(SettingsPages, MissingLogFolderFallsBackToTheDefaultOnNo)
{
    Pages d;
    TSettings s = d.sample();
    s.LogFile = d.tmp / "gone/run.log";
    d.p->load(s);
    d.prompt.expect(kLogFolderCaption, PromptAnswer::No).expect(kLogNameResetCaption, PromptAnswer::Ok);
    TSettings out = s;
    ASSERT_TRUE(d.p->store(out));
    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.asked.size(), 2u);
    EXPECT_EQ(d.prompt.asked[1].text, "デフォルトの名前にします");
    EXPECT_EQ(d.prompt.asked[1].icon, PromptIcon::Information);
    EXPECT_EQ(d.prompt.asked[1].buttons, PromptButtons::Ok);
    EXPECT_EQ(out.LogFile, d.programFolder + "logfile.txt");
    EXPECT_EQ(d.p->edtLogFile->text().toStdString(), out.LogFile);
    EXPECT_FALSE(fs::exists(d.tmp / "gone"));
}

TEST(SettingsPages, LogFolderThatCannotBeCreatedStopsTheStore)
{
    Pages d;
    TSettings s = d.sample();
    writeFile(d.tmp / "plain", "x");
    for (const std::string& log : {d.tmp / "plain/sub/run.log", std::string("run.log"), std::string()}) {
        d.p->load(s);
        d.p->edtLogFile->setText(QString::fromStdString(log));
        d.tabs->setCurrentWidget(d.p->tbsMirroring);
        d.prompt.expect(kLogFolderCaption, PromptAnswer::Yes).expect(kLogFolderCaption, PromptAnswer::Ok);
        TSettings out = s;
        EXPECT_FALSE(d.p->store(out)) << log;
        d.prompt.expectAllAnswered();
        ASSERT_GE(d.prompt.asked.size(), 2u);
        const PromptMessage& err = d.prompt.asked.back();
        EXPECT_EQ(err.icon, PromptIcon::Error);
        EXPECT_EQ(err.text.rfind(kLogFolderFailedText, 0), 0u) << err.text;
        EXPECT_EQ(d.tabs->currentWidget(), d.p->tbsDetail);
        EXPECT_EQ(d.p->edtLogFile->text().toStdString(), log) << "the path stays for the correction";
        d.prompt.asked.clear();
    }
}

}  // namespace
}  // namespace renvo
