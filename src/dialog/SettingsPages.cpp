#include "dialog/SettingsPages.h"

#include "dialog/Autostart.h"
#include "engine/ItemChecks.h"
#include "guikit/IdleDetect.h"
#include "guikit/RenvoApp.h"
#include "guikit/WaitCursor.h"
#include "platform/FileNames.h"
#include "platform/FileSys.h"
#include "platform/Path.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

namespace renvo {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

// Whole minutes of the time of day a span stands for: hours * 60 + minutes, the seconds and
// whole days dropped, rounded to the millisecond first as the date-time decoding does.
int spanMinutes(double span)
{
    if (!std::isfinite(span))
        return 0;
    const double frac = std::fabs(span - std::trunc(span));
    const long long ms = std::llround(frac * 86400000.0);
    return static_cast<int>(ms / 60000);
}

// The span of m div 60 hours and m mod 60 minutes: m minutes, rounded once.
double minutesToSpan(int minutes)
{
    return minutesSpan(minutes);
}


}  // namespace

std::string logFolderQuestion(const std::string& folder)
{
    return "ログファイルを記録するフォルダ " + folder + " は存在しません" + "\r\n" + "作成しますか？";
}

QString taskPriorityHint(int position)
{
    switch (position) {
    case 0: return QStringLiteral("最優先・他のタスクを妨害します");
    case 1: return QStringLiteral("やや優先・他のタスクを若干妨害します");
    case 2: return QStringLiteral("通常・他のタスクと同じ優先度です");
    case 3: return QStringLiteral("やや低め・他のタスクを若干優先します");
    case 4: return QStringLiteral("低い・他のタスクを優先します");
    case 5: return QStringLiteral("アイドル時のみ・アイドル時のみ実行します");
    default: return {};
    }
}

TSettingsPages::TSettingsPages(Prompt& prompt, IdleDetector& idle, std::string programFolder, QWidget* owner)
    : QObject(owner), prompt_(prompt), idle_(idle), programFolder_(std::move(programFolder)), owner_(owner)
{
    measureCpu = [this] { return idle_.cpuUsage(); };
    measureRlf = [this] { return idle_.measureRLF(); };

    tbsMirroring = new QWidget(owner);
    tbsMirroring->setObjectName(QStringLiteral("tbsMirroring"));
    tbsIdleOption = new QWidget(owner);
    tbsIdleOption->setObjectName(QStringLiteral("tbsIdleOption"));
    tbsDetail = new QWidget(owner);
    tbsDetail->setObjectName(QStringLiteral("tbsDetail"));
    // Until the frame puts them into its page control.
    for (QWidget* page : {tbsMirroring, tbsIdleOption, tbsDetail})
        page->hide();

    buildMirroringPage();
    buildIdlePage();
    buildDetailPage();
    nameControls();
    trbTaskPriorityChange();
    // The state of a record at its defaults until load() runs.
    chkExecuteClick();
    chkDelFilesOnDelItemClick();
    chkLogFileClick();
    rdbForceClick(0);
    connectHandlers();
}

TSettingsPages::~TSettingsPages() = default;

void TSettingsPages::track()
{
    if (!loading_)
        emit changed();
}

void TSettingsPages::connectHandlers()
{
    connect(edtBackDir, &QLineEdit::textChanged, this, &TSettingsPages::track);
    connect(edtLogFile, &QLineEdit::textChanged, this, &TSettingsPages::track);

    // The enabling follows the state however it changes; Apply only a click.
    connect(chkExecute, &QCheckBox::toggled, this, &TSettingsPages::chkExecuteClick);
    connect(chkDelFilesOnDelItem, &QCheckBox::toggled, this, &TSettingsPages::chkDelFilesOnDelItemClick);
    connect(chkLogFile, &QCheckBox::toggled, this, &TSettingsPages::chkLogFileClick);
    for (QCheckBox* box : {chkExecute, chkMirOnStart, chkIdlePostpone, chkDelOnNotExists, chkDelFilesOnDelItem,
                           chkQueryDelFiles, chkShowProgressDialog, chkLogFile, chkLogAppend})
        connect(box, &QCheckBox::clicked, this, &TSettingsPages::track);

    for (QRadioButton* b : {rdbForce, rdbCPU, rdbOLF}) {
        connect(b, &QRadioButton::toggled, this, [this, b](bool on) {
            if (on)
                rdbForceClick(b->property("Tag").toInt());
        });
        connect(b, &QRadioButton::clicked, this, &TSettingsPages::track);
    }

    connect(cmbProgressPosition, &QComboBox::currentIndexChanged, this, &TSettingsPages::track);
    connect(trbTaskPriority, &QSlider::valueChanged, this, [this] {
        trbTaskPriorityChange();
        track();
    });

    for (TUpDown* spin : {updInterval, updEveryTimes, updKeepHistory, updCPU, updOLF, updPostpone}) {
        spin->onChanging = [this] { track(); };
        // The spin box takes the keys while its edit shows the focus; a key sent to the edit
        // itself reaches it directly.
        spin->installEventFilter(this);
        spin->edit()->installEventFilter(this);
    }

    connect(btnBackDir, &QPushButton::clicked, this, &TSettingsPages::btnBackDirClick);
    connect(btnSelectLog, &QPushButton::clicked, this, &TSettingsPages::btnSelectLogClick);
    connect(btnOLFMeasure, &QPushButton::clicked, this, &TSettingsPages::btnOLFMeasureClick);
    connect(btnRegister, &QPushButton::clicked, this, &TSettingsPages::btnRegisterClick);
    connect(btnCancelRegister, &QPushButton::clicked, this, &TSettingsPages::btnCancelRegisterClick);
}

bool TSettingsPages::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // The main row's digits and the keypad's (which arrive as digits with the keypad
        // modifier); the key itself goes on.
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            track();
    }
    return QObject::eventFilter(watched, event);
}

int TSettingsPages::folderSettingIndex() const
{
    if (rdbFolderSync->isChecked())
        return 0;
    if (rdbFolderKeep->isChecked())
        return 1;
    if (rdbFolderTable->isChecked())
        return 2;
    return -1;
}

void TSettingsPages::setFolderSettingIndex(int index)
{
    QRadioButton* buttons[] = {rdbFolderSync, rdbFolderKeep, rdbFolderTable};
    buttons[std::clamp(index, 0, 2)]->setChecked(true);
}

void TSettingsPages::load(const TSettings& s)
{
    loading_ = true;
    edtBackDir->setText(qs(s.MirTopFolder));
    chkExecute->setChecked(s.Mirroring);
    chkExecuteClick();
    chkMirOnStart->setChecked(s.MirOnStart);
    updKeepHistory->setValue(s.LimitHistory);
    updEveryTimes->setValue(s.EveryTimes);
    setFolderSettingIndex(static_cast<int>(s.FolderOption) - 1);
    trbTaskPriority->setValue(s.TaskPriority);
    trbTaskPriorityChange();

    // Any mode above 2 is tested as RLF, so it is shown as RLF.
    QRadioButton* idle = s.IdleMode == 0 ? rdbForce : s.IdleMode == 1 ? rdbCPU : rdbOLF;
    idle->setChecked(true);
    if (idle == rdbCPU)
        updCPU->setValue(s.IdleThreshold);
    else if (idle == rdbOLF)
        updOLF->setValue(s.IdleThreshold);
    rdbForceClick(idle->property("Tag").toInt());

    chkDelOnNotExists->setChecked(s.DelOnNotExists);
    chkDelFilesOnDelItem->setChecked(s.DelFilesOnDelItem);
    chkDelFilesOnDelItemClick();
    chkQueryDelFiles->setChecked(s.QueryDelFiles);
    chkShowProgressDialog->setChecked(s.ShowProgressDialog);
    chkLogFile->setChecked(s.KeepLogFile);
    chkLogFileClick();
    chkLogAppend->setChecked(s.LogAppend);
    cmbProgressPosition->setCurrentIndex(std::clamp(s.ProgressPosition, 0, cmbProgressPosition->count() - 1));
    edtLogFile->setText(qs(s.LogFile));

    const int postpone = spanMinutes(s.Postpone);
    updPostpone->setValue(postpone);
    chkIdlePostpone->setChecked(postpone > 0);

    updInterval->setValue(spanMinutes(s.Interval));
    loading_ = false;
}

void TSettingsPages::showPage(QWidget* page, QWidget* focus)
{
    for (QWidget* w = page->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            tabs->setCurrentWidget(page);
            break;
        }
    }
    focus->setFocus();
}

bool TSettingsPages::store(TSettings& s)
{
    // 1. The top folder without trailing delimiters (the root keeps its own).
    const std::string top = trimTrailingDelimiters(ss(edtBackDir->text()));
    edtBackDir->setText(qs(top));
    // Every run resolves Latest and History below it: a relative one would follow the
    // program's working folder wherever it is started.
    if (checkAddress(top) != ItemProblem::None) {
        prompt_.tell(kErrorDialogCaption, kTopFolderNotAbsoluteText, PromptIcon::Error, owner_);
        showPage(tbsMirroring, edtBackDir);
        return false;
    }
    s.MirTopFolder = top;

    // 2.
    s.Mirroring = chkExecute->isChecked();
    s.MirOnStart = chkMirOnStart->isChecked();
    s.FolderOption = static_cast<uint8_t>(folderSettingIndex() + 1);
    s.TaskPriority = trbTaskPriority->value();
    s.LimitHistory = updKeepHistory->value();
    s.EveryTimes = updEveryTimes->value();
    s.DelOnNotExists = chkDelOnNotExists->isChecked();
    s.DelFilesOnDelItem = chkDelFilesOnDelItem->isChecked();
    s.QueryDelFiles = chkQueryDelFiles->isChecked();
    s.ShowProgressDialog = chkShowProgressDialog->isChecked();
    s.ProgressPosition = cmbProgressPosition->currentIndex();
    s.KeepLogFile = chkLogFile->isChecked();
    s.LogAppend = chkLogAppend->isChecked();

    // 3. The log's folder, whether or not the log is kept: switching it on later must not
    // find a path that cannot be written.
    const std::string folder = extractFileDir(ss(edtLogFile->text()));
    if (!directoryExists(folder)) {
        const PromptAnswer answer = prompt_.ask({kLogFolderCaption, logFolderQuestion(folder), PromptIcon::Information,
                                                 PromptButtons::YesNo, PromptAnswer::Yes, owner_});
        if (answer == PromptAnswer::Yes) {
            const int err = folder.empty() ? ENOENT : forceDirectories(folder).error();
            if (err != 0) {
                // Said and stopped: a log that cannot be written would fail every run.
                prompt_.tell(kLogFolderCaption,
                             std::string(kLogFolderFailedText) + "\r\n" + folder + "\r\n" + errorText(err),
                             PromptIcon::Error, owner_);
                showPage(tbsDetail, edtLogFile);
                return false;
            }
        } else {
            prompt_.tell(kLogNameResetCaption, kLogNameResetText, PromptIcon::Information, owner_);
            edtLogFile->setText(qs(includeTrailingDelimiter(programFolder_) + kLogFileName));
        }
    }
    // 4.
    s.LogFile = ss(edtLogFile->text());

    // 5. Mode 0 keeps the threshold of the mode before.
    if (rdbForce->isChecked()) {
        s.IdleMode = 0;
    } else if (rdbCPU->isChecked()) {
        s.IdleMode = 1;
        s.IdleThreshold = updCPU->value();
    } else {
        s.IdleMode = 2;
        s.IdleThreshold = updOLF->value();
    }

    // 6.
    if (!chkIdlePostpone->isChecked())
        updPostpone->setValue(0);
    s.Postpone = minutesToSpan(updPostpone->value());
    // 7. Kept for when automatic runs are switched on again.
    s.Interval = minutesToSpan(updInterval->value());
    return true;
}

void TSettingsPages::chkExecuteClick()
{
    const bool on = chkExecute->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{Label8, updInterval, Label23})
        w->setEnabled(on);
}

void TSettingsPages::chkDelFilesOnDelItemClick()
{
    chkQueryDelFiles->setEnabled(chkDelFilesOnDelItem->isChecked());
}

void TSettingsPages::chkLogFileClick()
{
    const bool on = chkLogFile->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{chkLogAppend, Label7, edtLogFile, btnSelectLog})
        w->setEnabled(on);
}

void TSettingsPages::rdbForceClick(int mode)
{
    const bool measuring = mode == 1 || mode == 2;
    for (QWidget* w : std::initializer_list<QWidget*>{lblOLFDiscript, btnOLFMeasure})
        w->setEnabled(measuring);
    for (QWidget* w : std::initializer_list<QWidget*>{Label4, updCPU, Label9})
        w->setEnabled(mode == 1);
    for (QWidget* w : std::initializer_list<QWidget*>{Label10, updOLF, Label11})
        w->setEnabled(mode == 2);
    for (QWidget* w : std::initializer_list<QWidget*>{chkIdlePostpone, updPostpone, lblPostpone})
        w->setEnabled(measuring);
    if (mode == 1)
        lblOLFDiscript->setText(QString::fromUtf8(kCpuMeasureText));
    else if (mode == 2)
        lblOLFDiscript->setText(QString::fromUtf8(kRlfMeasureText));
}

void TSettingsPages::btnOLFMeasureClick()
{
    // The load figure lets events through: a second click then must not nest a measurement.
    if (measuring_)
        return;
    int32_t v = 0;
    {
        const QScopedValueRollback<bool> busy(measuring_, true);
        WaitCursor wait;
        lblOLF->setText(QString::fromUtf8(kMeasuringText));
        lblOLF->repaint();
        v = rdbCPU->isChecked() ? measureCpu() : measureRlf();
    }
    lblOLF->setText(QStringLiteral("%1 （推奨 %2 程度）").arg(v).arg(v + v / 10));
}

void TSettingsPages::btnBackDirClick()
{
    const std::string current = ss(edtBackDir->text());
    const auto chosen =
        prompt_.chooseFolder({kDirChooserCaption, directoryExists(current) ? current : std::string(), owner_, true});
    if (chosen && chosenFolderReady(*chosen))
        edtBackDir->setText(qs(*chosen));
    edtBackDir->setFocus();
}

// A folder named in the chooser that is not there yet is made, all missing levels, when the
// user agrees; true when the folder is there now.
bool TSettingsPages::chosenFolderReady(const std::string& folder)
{
    if (directoryExists(folder))
        return true;
    const PromptAnswer answer = prompt_.ask({kConfirmationDialogCaption, kCreateDirQuestion, PromptIcon::Question,
                                             PromptButtons::YesNo, PromptAnswer::Yes, owner_});
    if (answer != PromptAnswer::Yes)
        return false;
    if (const Status made = forceDirectories(folder); !made) {
        prompt_.tell(kErrorDialogCaption,
                     std::string(kLogFolderFailedText) + "\r\n" + folder + "\r\n" + errorText(made.error()),
                     PromptIcon::Error, owner_);
        return false;
    }
    return true;
}

void TSettingsPages::btnSelectLogClick()
{
    const std::string current = ss(edtLogFile->text());
    // The log is written by the next run: a name not there yet is what a new log has.
    const auto chosen =
        prompt_.chooseFile({kLogChooserCaption, extractFileDir(current), kLogChooserFilter, owner_, true});
    if (chosen)
        edtLogFile->setText(qs(*chosen));
}

void TSettingsPages::btnRegisterClick()
{
    const std::string exe = ss(QCoreApplication::applicationFilePath());
    int err = 0;
    {
        WaitCursor wait;
        err = registerAutostart(exe);
    }
    // Silence would leave the user believing the program starts with the session.
    if (err != 0)
        prompt_.tell(kErrorDialogCaption,
                     "スタートアップへの登録に失敗しました\r\n" + autostartEntryPath() + "\r\n" + errorText(err),
                     PromptIcon::Error, owner_);
}

void TSettingsPages::btnCancelRegisterClick()
{
    int err = 0;
    {
        WaitCursor wait;
        err = removeAutostart();
    }
    if (err != 0)
        prompt_.tell(kErrorDialogCaption,
                     "スタートアップへの登録を削除できませんでした\r\n" + autostartEntryPath() + "\r\n" + errorText(err),
                     PromptIcon::Error, owner_);
}

void TSettingsPages::trbTaskPriorityChange()
{
    const QString hint = taskPriorityHint(trbTaskPriority->value());
    trbTaskPriority->setToolTip(hint);
    trbTaskPriority->setStatusTip(hint);
}

}  // namespace renvo
