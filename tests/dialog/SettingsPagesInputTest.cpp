// The settings pages' controls at work: dependent enabling, Apply tracking, the measure and
// browse buttons, the Startup buttons, the keyboard and the help contexts.
#include "SettingsPagesFixture.h"

#include <gtest/gtest.h>

namespace renvo {
namespace {

namespace fs = std::filesystem;
using test::alt;
using test::click;
using test::Pages;
using test::writeFile;

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
    // A click handled while the figure is taken (the RLF lets events through) measures nothing.
    int rounds = 0;
    d.p->measureRlf = [&] {
        if (++rounds == 1)
            d.p->btnOLFMeasure->click();
        return 9;
    };
    QTest::mouseClick(d.p->btnOLFMeasure, Qt::LeftButton);
    EXPECT_EQ(d.p->lblOLF->text(), QStringLiteral("9 （推奨 9 程度）"));
    EXPECT_EQ(rounds, 1);
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
    fs::create_directories(d.tmp / "chosen");
    d.prompt.expectFolder(d.tmp / "chosen");
    d.p->btnBackDir->setFocus();
    QTest::mouseClick(d.p->btnBackDir, Qt::LeftButton);
    EXPECT_EQ(d.p->edtBackDir->text().toStdString(), d.tmp / "chosen");
    EXPECT_EQ(QApplication::focusWidget(), d.p->edtBackDir);
    d.prompt.expectFolder(std::nullopt);
    QTest::mouseClick(d.p->btnBackDir, Qt::LeftButton);
    EXPECT_EQ(d.p->edtBackDir->text().toStdString(), d.tmp / "chosen") << "cancel changes nothing";
    EXPECT_EQ(QApplication::focusWidget(), d.p->edtBackDir);
    d.prompt.expectAllAnswered();
    ASSERT_EQ(d.prompt.choosers.size(), 2u);
    EXPECT_EQ(d.prompt.choosers[0].caption, "ディレクトリの選択");
    EXPECT_EQ(d.prompt.choosers[0].folder, "") << "top did not exist";
    EXPECT_EQ(d.prompt.choosers[1].folder, d.tmp / "chosen");
    EXPECT_TRUE(d.prompt.choosers[0].mayBeNew) << "a missing folder is offered to be made";

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
    EXPECT_TRUE(d.prompt.choosers[2].mayBeNew);
}

TEST(SettingsPages, TopFolderChooserOffersToCreateAMissingFolder)
{
    struct Case {
        const char* chosen;
        PromptAnswer answer;
        bool made;
    };
    const Case cases[] = {
        {"new/deeper", PromptAnswer::Yes, true},  // every missing level
        {"declined", PromptAnswer::No, false},
        {"afile/sub", PromptAnswer::Yes, false},  // below a file: cannot be made, and said so
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        Pages d;
        d.p->load(d.sample());
        ASSERT_TRUE(d.showActive(d.p->tbsMirroring));
        writeFile(d.tmp / "afile", "a file");
        const QString before = d.p->edtBackDir->text();
        const std::string chosen = d.tmp / c.chosen;
        d.prompt.expectFolder(chosen).expect(kConfirmationDialogCaption, c.answer);
        if (c.answer == PromptAnswer::Yes && !c.made)
            d.prompt.expect(kErrorDialogCaption, PromptAnswer::Ok);
        QTest::mouseClick(d.p->btnBackDir, Qt::LeftButton);
        d.prompt.expectAllAnswered();

        ASSERT_FALSE(d.prompt.asked.empty());
        const PromptMessage& question = d.prompt.asked[0];
        EXPECT_EQ(question.text, "指定されたディレクトリが存在しません。作成しますか？");
        EXPECT_EQ(question.icon, PromptIcon::Question);
        EXPECT_EQ(question.buttons, PromptButtons::YesNo);
        EXPECT_EQ(fs::is_directory(chosen), c.made);
        EXPECT_EQ(d.p->edtBackDir->text().toStdString(), c.made ? chosen : before.toStdString());
        EXPECT_EQ(QApplication::focusWidget(), d.p->edtBackDir);
    }
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
