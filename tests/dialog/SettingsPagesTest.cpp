// The settings pages on the offscreen platform, inside a page control as the dialog shows
// them, over real folders in a temporary folder.
#include "dialog/SettingsPages.h"

#include "common/ScriptedPrompt.h"
#include "common/TempDir.h"
#include "listedit/HelpPopup.h"
#include "shell/IdleDetect.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::ScriptedPrompt;
using test::TempDir;
using test::writeFile;

struct Pages {
    TempDir tmp;
    ScriptedPrompt prompt;
    IdleDetector idle;
    std::string programFolder = tmp.path() + "/";
    std::unique_ptr<QWidget> dialog = std::make_unique<QWidget>();
    QTabWidget* tabs = new QTabWidget(dialog.get());
    TSettingsPages* p = new TSettingsPages(prompt, idle, programFolder, dialog.get());
    std::optional<std::string> oldXdg;

    Pages()
    {
        tabs->addTab(p->tbsMirroring, QStringLiteral("ミラーリング"));
        tabs->addTab(p->tbsIdleOption, QStringLiteral("アイドル"));
        tabs->addTab(p->tbsDetail, QStringLiteral("詳細"));
        (new QVBoxLayout(dialog.get()))->addWidget(tabs);
        if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
            oldXdg = xdg;
        setenv("XDG_CONFIG_HOME", (tmp / "config").c_str(), 1);
    }
    ~Pages()
    {
        dialog.reset();
        if (oldXdg)
            setenv("XDG_CONFIG_HOME", oldXdg->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    // A record whose every value differs from the defaults, with an existing log folder.
    TSettings sample()
    {
        fs::create_directories(tmp / "logs");
        TSettings s = defaultSettings(programFolder);
        s.MirTopFolder = tmp / "top";
        s.Mirroring = true;
        s.Interval = minutesSpan(90);
        s.MirOnStart = true;
        s.IdleMode = 1;
        s.IdleReserved = {7, 8, 9};
        s.IdleThreshold = 45;
        s.DelOnNotExists = false;
        s.DelFilesOnDelItem = false;
        s.QueryDelFiles = false;
        s.ShowProgressDialog = false;
        s.Postpone = minutesSpan(7);
        s.FolderOption = 3;
        s.TaskPriority = 3;
        s.LimitHistory = 12;
        s.EveryTimes = 46;
        s.ProgressPosition = 2;
        s.DoneStandard = 4;
        s.LogFile = tmp / "logs/run.log";
        s.KeepLogFile = false;
        s.LogAppend = true;
        return s;
    }

    bool showActive(QWidget* page)
    {
        tabs->setCurrentWidget(page);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog.get());
    }
};

// A check box or radio button takes clicks on its indicator and text only, which the middle
// of a stretched one misses.
void click(QAbstractButton* b)
{
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

void alt(Qt::Key key)
{
    QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
}

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

TEST(SettingsPages, DependentEnabling)
{
    Pages d;
    TSettings s = d.sample();
    s.Mirroring = false;
    s.DelFilesOnDelItem = true;
    s.KeepLogFile = true;
    s.IdleMode = 0;
    d.p->load(s);
    TSettingsPages& p = *d.p;
    EXPECT_FALSE(p.Label8->isEnabled());
    EXPECT_FALSE(p.Edit3->isEnabled());
    EXPECT_FALSE(p.Label23->isEnabled());
    EXPECT_TRUE(p.updEveryTimes->isEnabled());
    EXPECT_TRUE(p.chkQueryDelFiles->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(p.chkLogAppend), static_cast<QWidget*>(p.Label7),
                       static_cast<QWidget*>(p.edtLogFile), static_cast<QWidget*>(p.btnSelectLog)})
        EXPECT_TRUE(w->isEnabled());

    ASSERT_TRUE(d.showActive(p.tbsMirroring));
    click(p.chkExecute);
    EXPECT_TRUE(p.Label8->isEnabled() && p.updInterval->isEnabled() && p.Edit3->isEnabled() && p.Label23->isEnabled());
    d.tabs->setCurrentWidget(p.tbsDetail);
    click(p.chkDelFilesOnDelItem);
    EXPECT_FALSE(p.chkQueryDelFiles->isEnabled());
    click(p.chkLogFile);
    EXPECT_FALSE(p.chkLogAppend->isEnabled() || p.Label7->isEnabled() || p.edtLogFile->isEnabled() ||
                 p.btnSelectLog->isEnabled());

    // The idle mode: the explanation, the measure button, each mode's threshold and postponing.
    const QString intro = QString::fromUtf8(kIdleIntroText);
    auto idleState = [&p] {
        std::string st;
        for (QWidget* w : {static_cast<QWidget*>(p.lblOLFDiscript), static_cast<QWidget*>(p.btnOLFMeasure),
                           static_cast<QWidget*>(p.Label4), static_cast<QWidget*>(p.updCPU),
                           static_cast<QWidget*>(p.edtCPU), static_cast<QWidget*>(p.Label9),
                           static_cast<QWidget*>(p.Label10), static_cast<QWidget*>(p.updOLF),
                           static_cast<QWidget*>(p.edtOLF), static_cast<QWidget*>(p.Label11),
                           static_cast<QWidget*>(p.chkIdlePostpone), static_cast<QWidget*>(p.updPostpone),
                           static_cast<QWidget*>(p.edtPostpone), static_cast<QWidget*>(p.lblPostpone)})
            st += w->isEnabled() ? '1' : '0';
        return st;
    };
    EXPECT_EQ(idleState(), "00000000000000");
    EXPECT_EQ(p.lblOLFDiscript->text(), intro);
    d.tabs->setCurrentWidget(p.tbsIdleOption);
    click(p.rdbCPU);
    EXPECT_EQ(idleState(), "11111100001111");
    EXPECT_EQ(p.lblOLFDiscript->text(), QString::fromUtf8(kCpuMeasureText));
    click(p.rdbOLF);
    EXPECT_EQ(idleState(), "11000011111111");
    EXPECT_EQ(p.lblOLFDiscript->text(), QString::fromUtf8(kRlfMeasureText));
    // Clearing the postpone box leaves its spin to the mode.
    click(p.chkIdlePostpone);
    EXPECT_TRUE(p.updPostpone->isEnabled());
    click(p.rdbForce);
    EXPECT_EQ(idleState(), "00000000000000");
    EXPECT_EQ(p.lblOLFDiscript->text(), QString::fromUtf8(kRlfMeasureText)) << "mode 0 leaves the text";

    // Loading mode 1 runs the same handler.
    s.IdleMode = 1;
    d.p->load(s);
    EXPECT_EQ(idleState(), "11111100001111");
}

TEST(SettingsPages, ApplyTracking)
{
    Pages d;
    TSettings s = d.sample();
    s.Mirroring = true;
    s.IdleMode = 2;
    QSignalSpy spy(d.p, &TSettingsPages::changed);
    d.p->load(s);
    EXPECT_EQ(spy.count(), 0) << "loading is no change";
    TSettingsPages& p = *d.p;
    ASSERT_TRUE(d.showActive(p.tbsMirroring));

    auto counts = [&spy](const char* what, auto&& action) {
        spy.clear();
        action();
        return ::testing::AssertionResult(spy.count() > 0) << what;
    };
    auto silent = [&spy](const char* what, auto&& action) {
        spy.clear();
        action();
        return ::testing::AssertionResult(spy.count() == 0) << what;
    };

    // Digits in the number edits count, the keypad's too; Backspace and letters do not.
    p.updInterval->setFocus();
    EXPECT_TRUE(counts("digit", [&] { QTest::keyClick(p.updInterval, Qt::Key_5); }));
    EXPECT_TRUE(silent("backspace", [&] { QTest::keyClick(p.updInterval, Qt::Key_Backspace); }));
    EXPECT_TRUE(silent("letter", [&] { QTest::keyClick(p.updInterval, Qt::Key_A); }));
    EXPECT_TRUE(counts("keypad digit", [&] { QTest::keyClick(p.updKeepHistory, Qt::Key_7, Qt::KeypadModifier); }));
    EXPECT_TRUE(counts("digit sent to the edit", [&] { QTest::keyClick(p.Edit2, Qt::Key_1); }));
    EXPECT_TRUE(silent("backspace to the edit", [&] { QTest::keyClick(p.Edit2, Qt::Key_Backspace); }));
    // The arrows and the spin's buttons.
    EXPECT_TRUE(counts("arrow key", [&] { QTest::keyClick(p.updEveryTimes, Qt::Key_Up); }));
    EXPECT_TRUE(counts("step", [&] { p.updOLF->stepUp(); }));
    EXPECT_TRUE(counts("page down", [&] { QTest::keyClick(p.updPostpone, Qt::Key_PageDown); }));

    EXPECT_TRUE(counts("top folder", [&] { p.edtBackDir->setText(QStringLiteral("/x")); }));
    EXPECT_TRUE(counts("chkExecute", [&] { click(p.chkExecute); }));
    EXPECT_TRUE(counts("chkMirOnStart", [&] { click(p.chkMirOnStart); }));
    EXPECT_TRUE(silent("folder default", [&] { click(p.rdbFolderKeep); }));
    EXPECT_TRUE(p.rdbFolderKeep->isChecked());

    d.tabs->setCurrentWidget(p.tbsIdleOption);
    EXPECT_TRUE(counts("rdbCPU", [&] { click(p.rdbCPU); }));
    EXPECT_TRUE(counts("chkIdlePostpone", [&] { click(p.chkIdlePostpone); }));

    d.tabs->setCurrentWidget(p.tbsDetail);
    for (QCheckBox* box : {p.chkDelOnNotExists, p.chkDelFilesOnDelItem, p.chkShowProgressDialog, p.chkLogFile})
        EXPECT_TRUE(counts(box->objectName().toUtf8().constData(), [&] { click(box); }));
    // Both were clear: now their dependants are enabled.
    EXPECT_TRUE(counts("chkQueryDelFiles", [&] { click(p.chkQueryDelFiles); }));
    EXPECT_TRUE(counts("chkLogAppend", [&] { click(p.chkLogAppend); }));
    EXPECT_TRUE(counts("position", [&] { p.cmbProgressPosition->setCurrentIndex(1); }));
    EXPECT_TRUE(counts("priority", [&] { QTest::keyClick(p.trbTaskPriority, Qt::Key_Left); }));
    EXPECT_TRUE(counts("log path", [&] { p.edtLogFile->setText(QStringLiteral("/tmp/x.log")); }));
    EXPECT_TRUE(silent("register", [&] { QTest::mouseClick(p.btnRegister, Qt::LeftButton); }));
    EXPECT_TRUE(silent("unregister", [&] { QTest::mouseClick(p.btnCancelRegister, Qt::LeftButton); }));
}

TEST(SettingsPages, MeasureShowsTheFigureAndTheRecommendation)
{
    Pages d;
    TSettings s = d.sample();
    d.p->load(s);  // mode 1
    QString during;
    bool hourglass = false;
    auto watch = [&] {
        during = d.p->lblOLF->text();
        hourglass = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    d.p->measureCpu = [&] { watch(); return 37; };
    d.p->measureRlf = [] { ADD_FAILURE() << "RLF measured in mode 1"; return 0; };
    EXPECT_EQ(d.p->lblOLF->text(), QStringLiteral("(測定されていません)"));
    QTest::mouseClick(d.p->btnOLFMeasure, Qt::LeftButton);
    EXPECT_EQ(during, QStringLiteral("測定しています..."));
    EXPECT_TRUE(hourglass);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(d.p->lblOLF->text(), QStringLiteral("37 （推奨 40 程度）"));
    EXPECT_EQ(d.p->updCPU->value(), 45) << "the threshold is the user's to enter";

    d.p->rdbOLF->setChecked(true);
    d.p->measureCpu = [] { ADD_FAILURE() << "CPU measured in mode 2"; return 0; };
    d.p->measureRlf = [&] { watch(); return 1234; };
    QTest::mouseClick(d.p->btnOLFMeasure, Qt::LeftButton);
    EXPECT_EQ(d.p->lblOLF->text(), QStringLiteral("1234 （推奨 1357 程度）"));
    d.p->measureRlf = [] { return 9; };
    QTest::mouseClick(d.p->btnOLFMeasure, Qt::LeftButton);
    EXPECT_EQ(d.p->lblOLF->text(), QStringLiteral("9 （推奨 9 程度）"));
}

TEST(SettingsPages, TrackBarHintFollowsThePosition)
{
    Pages d;
    QSlider* bar = d.p->trbTaskPriority;
    EXPECT_EQ(bar->value(), 5);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("アイドル時のみ・アイドル時のみ実行します"));
    bar->setValue(3);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("やや低め・他のタスクを若干優先します"));
    EXPECT_EQ(bar->statusTip(), bar->toolTip());
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("通常・他のタスクと同じ優先度です"));
    bar->setValue(0);
    EXPECT_EQ(bar->statusTip(), QStringLiteral("最優先・他のタスクを妨害します"));
}

TEST(SettingsPages, BrowseButtons)
{
    Pages d;
    TSettings s = d.sample();
    d.p->load(s);
    ASSERT_TRUE(d.showActive(d.p->tbsMirroring));

    // The chooser starts at the current folder only when it exists.
    d.prompt.expectFolder(d.tmp / "chosen");
    d.p->btnBackDir->setFocus();
    QTest::mouseClick(d.p->btnBackDir, Qt::LeftButton);
    EXPECT_EQ(d.p->edtBackDir->text().toStdString(), d.tmp / "chosen");
    EXPECT_EQ(QApplication::focusWidget(), d.p->edtBackDir);
    fs::create_directories(d.tmp / "chosen");
    d.prompt.expectFolder(std::nullopt);
    QTest::mouseClick(d.p->btnBackDir, Qt::LeftButton);
    EXPECT_EQ(d.p->edtBackDir->text().toStdString(), d.tmp / "chosen") << "cancel changes nothing";
    EXPECT_EQ(QApplication::focusWidget(), d.p->edtBackDir);
    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.choosers.size(), 2u);
    EXPECT_EQ(d.prompt.choosers[0].caption, "ディレクトリの選択");
    EXPECT_EQ(d.prompt.choosers[0].folder, "") << "top did not exist";
    EXPECT_EQ(d.prompt.choosers[1].folder, d.tmp / "chosen");

    // The log's chooser starts in the log's folder and may name a file not there yet.
    d.tabs->setCurrentWidget(d.p->tbsDetail);
    d.p->chkLogFile->setChecked(true);
    d.prompt.expectFile(d.tmp / "logs/new.log").expectFile(std::nullopt);
    QTest::mouseClick(d.p->btnSelectLog, Qt::LeftButton);
    EXPECT_EQ(d.p->edtLogFile->text().toStdString(), d.tmp / "logs/new.log");
    QTest::mouseClick(d.p->btnSelectLog, Qt::LeftButton);
    EXPECT_EQ(d.p->edtLogFile->text().toStdString(), d.tmp / "logs/new.log");
    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.choosers.size(), 4u);
    EXPECT_EQ(d.prompt.choosers[2].kind, test::ChooserKind::File);
    EXPECT_EQ(d.prompt.choosers[2].caption, "ファイルの指定");
    EXPECT_EQ(d.prompt.choosers[2].folder, d.tmp / "logs");
    EXPECT_EQ(d.prompt.choosers[2].filter, "全てのファイル (*)");
}

TEST(SettingsPages, StartupButtonsWriteAndRemoveTheAutostartEntry)
{
    Pages d;
    const std::string entry = d.tmp / "config/autostart/Renvo3.desktop";
    ASSERT_TRUE(d.showActive(d.p->tbsDetail));
    QTest::mouseClick(d.p->btnRegister, Qt::LeftButton);
    ASSERT_TRUE(fs::is_regular_file(entry));
    EXPECT_NE(test::readFile(entry).find("\nExec=" + QCoreApplication::applicationFilePath().toStdString() + "\n"),
              std::string::npos);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    QTest::mouseClick(d.p->btnCancelRegister, Qt::LeftButton);
    EXPECT_FALSE(fs::exists(entry));
    QTest::mouseClick(d.p->btnCancelRegister, Qt::LeftButton);
    EXPECT_TRUE(d.prompt.asked.empty()) << "no message on success";

    // A failure is said.
    writeFile(d.tmp / "plain", "x");
    setenv("XDG_CONFIG_HOME", (d.tmp / "plain").c_str(), 1);
    d.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
    QTest::mouseClick(d.p->btnRegister, Qt::LeftButton);
    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.asked.size(), 1u);
    EXPECT_EQ(d.prompt.asked[0].icon, PromptIcon::Error);
    EXPECT_NE(d.prompt.asked[0].text.find(d.tmp / "plain/autostart/Renvo3.desktop"), std::string::npos);
}

TEST(SettingsPages, MnemonicsFocusAndToggleTheirControls)
{
    Pages d;
    TSettings s = d.sample();
    s.Mirroring = true;
    s.IdleMode = 1;
    s.KeepLogFile = true;
    s.DelFilesOnDelItem = true;
    d.p->load(s);
    TSettingsPages& p = *d.p;
    auto waitChecked = [](QAbstractButton* b, bool on) {
        return QTest::qWaitFor([b, on] { return b->isChecked() == on; }, 2000);
    };

    ASSERT_TRUE(d.showActive(p.tbsMirroring));
    p.chkMirOnStart->setFocus();
    alt(Qt::Key_F);
    EXPECT_EQ(QApplication::focusWidget(), p.edtBackDir);
    alt(Qt::Key_I);
    EXPECT_EQ(QApplication::focusWidget(), p.updInterval);
    alt(Qt::Key_C);
    EXPECT_EQ(QApplication::focusWidget(), p.updEveryTimes);
    alt(Qt::Key_E);
    EXPECT_TRUE(waitChecked(p.chkExecute, false));
    alt(Qt::Key_R);
    EXPECT_TRUE(waitChecked(p.rdbFolderKeep, true));
    alt(Qt::Key_L);
    EXPECT_TRUE(waitChecked(p.rdbFolderSync, true));
    alt(Qt::Key_T);
    EXPECT_TRUE(waitChecked(p.rdbFolderTable, true));
    // Two controls share S: the key moves between them, toggling nothing.
    alt(Qt::Key_S);
    QWidget* first = QApplication::focusWidget();
    alt(Qt::Key_S);
    QWidget* second = QApplication::focusWidget();
    EXPECT_TRUE((first == p.updKeepHistory && second == p.chkMirOnStart) ||
                (first == p.chkMirOnStart && second == p.updKeepHistory));
    EXPECT_TRUE(p.chkMirOnStart->isChecked());

    d.tabs->setCurrentWidget(p.tbsIdleOption);
    p.rdbCPU->setFocus();
    alt(Qt::Key_P);
    EXPECT_EQ(QApplication::focusWidget(), p.updCPU);
    alt(Qt::Key_S);
    EXPECT_EQ(QApplication::focusWidget(), p.updPostpone);
    alt(Qt::Key_D);
    EXPECT_TRUE(waitChecked(p.rdbOLF, true));
    EXPECT_TRUE(p.updOLF->isEnabled());
    alt(Qt::Key_O);
    EXPECT_EQ(QApplication::focusWidget(), p.updOLF);
    int measured = 0;
    p.measureRlf = [&measured] { return ++measured; };
    alt(Qt::Key_M);
    EXPECT_TRUE(QTest::qWaitFor([&measured] { return measured == 1; }, 2000));
    alt(Qt::Key_C);
    EXPECT_TRUE(waitChecked(p.rdbCPU, true));
    alt(Qt::Key_N);
    EXPECT_TRUE(waitChecked(p.rdbForce, true));

    d.tabs->setCurrentWidget(p.tbsDetail);
    p.chkLogFile->setFocus();
    alt(Qt::Key_F);
    EXPECT_EQ(QApplication::focusWidget(), p.edtLogFile);
    alt(Qt::Key_S);
    EXPECT_EQ(QApplication::focusWidget(), p.cmbProgressPosition);
    alt(Qt::Key_P);
    EXPECT_EQ(QApplication::focusWidget(), p.trbTaskPriority);
    alt(Qt::Key_N);
    EXPECT_TRUE(waitChecked(p.chkLogAppend, !s.LogAppend));
    alt(Qt::Key_Q);
    EXPECT_TRUE(waitChecked(p.chkQueryDelFiles, !s.QueryDelFiles));
    alt(Qt::Key_D);
    EXPECT_TRUE(waitChecked(p.chkDelOnNotExists, !s.DelOnNotExists));
    alt(Qt::Key_M);
    EXPECT_TRUE(waitChecked(p.chkShowProgressDialog, !s.ShowProgressDialog));
    alt(Qt::Key_B);
    EXPECT_TRUE(waitChecked(p.chkDelFilesOnDelItem, false));
    EXPECT_FALSE(p.chkQueryDelFiles->isEnabled());
    alt(Qt::Key_L);
    EXPECT_TRUE(waitChecked(p.chkLogFile, false));
    EXPECT_FALSE(p.edtLogFile->isEnabled());
    const std::string entry = d.tmp / "config/autostart/Renvo3.desktop";
    alt(Qt::Key_R);
    EXPECT_TRUE(QTest::qWaitFor([&entry] { return fs::exists(entry); }, 2000));
    alt(Qt::Key_E);
    EXPECT_TRUE(QTest::qWaitFor([&entry] { return !fs::exists(entry); }, 2000));
}

TEST(SettingsPages, HelpContextsAndHints)
{
    Pages d;
    TSettingsPages& p = *d.p;
    const std::pair<QWidget*, unsigned> helps[] = {
        {p.edtBackDir, 62}, {p.btnBackDir, 62}, {p.chkExecute, 63}, {p.updInterval, 64}, {p.Edit3, 64},
        {p.updEveryTimes, 103}, {p.Edit2, 103}, {p.updKeepHistory, 104}, {p.Edit1, 104},
        {p.chkMirOnStart, 65}, {p.rdgFolderSetting, 66}, {p.rdbFolderTable, 66}, {p.rdbForce, 67},
        {p.rdbCPU, 68}, {p.updCPU, 68}, {p.edtCPU, 68}, {p.rdbOLF, 69}, {p.edtOLF, 69},
        {p.chkIdlePostpone, 70}, {p.edtPostpone, 70}, {p.btnOLFMeasure, 71}, {p.btnRegister, 72},
        {p.btnCancelRegister, 72}, {p.chkDelOnNotExists, 73}, {p.chkDelFilesOnDelItem, 74},
        {p.chkQueryDelFiles, 75}, {p.chkShowProgressDialog, 76}, {p.cmbProgressPosition, 106},
        {p.trbTaskPriority, 107}, {p.chkLogFile, 114}, {p.chkLogAppend, 115}, {p.edtLogFile, 116},
        {p.btnSelectLog, 116}};
    for (const auto& [w, n] : helps) {
        EXPECT_EQ(helpContextOf(w), n) << w->objectName().toStdString();
        EXPECT_EQ(w->contextMenuPolicy(), Qt::CustomContextMenu) << w->objectName().toStdString();
    }
    EXPECT_EQ(helpContextOf(p.lblOLF), 0u);
    EXPECT_EQ(p.Edit3->toolTip(), QStringLiteral("実行する間隔を指定"));
    EXPECT_EQ(p.edtPostpone->toolTip(), QStringLiteral("非アイドル時に延期する時間を指定"));
    EXPECT_EQ(p.btnBackDir->toolTip(), QStringLiteral("フォルダの参照"));
    EXPECT_EQ(p.Label8->buddy(), p.updInterval);
    EXPECT_EQ(p.lblPostpone->buddy(), p.updPostpone);
}

}  // namespace
}  // namespace renvo
