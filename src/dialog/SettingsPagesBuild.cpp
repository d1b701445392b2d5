// The controls of the three settings pages and their layout.
#include "dialog/SettingsPages.h"

#include "guikit/HelpPopup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <utility>

namespace renvo {

namespace {

void setHint(QWidget* w, const QString& hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

// A heading with a sunken line after it, as the pages divide their sections.
QHBoxLayout* heading(const QString& text, QWidget* parent)
{
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(text, parent));
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    row->addWidget(line, 1);
    return row;
}

QLabel* buddyLabel(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* browseButton(QWidget* parent)
{
    auto* b = new QPushButton(QStringLiteral("..."), parent);
    b->setAutoDefault(false);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 14);
    return b;
}

QPushButton* pushButton(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    // Enter in an edit presses the dialog's OK, never a page's button.
    b->setAutoDefault(false);
    return b;
}

// The spin box and its line edit are one control to the user: the same hint and help.
void describeSpin(TUpDown* spin, const QString& hint, unsigned help)
{
    if (!hint.isEmpty()) {
        setHint(spin, hint);
        setHint(spin->edit(), hint);
    }
    attachHelp(spin, help);
    attachHelp(spin->edit(), help);
}

}  // namespace

TUpDown::TUpDown(int maximum, QWidget* parent) : QSpinBox(parent)
{
    setRange(0, maximum);
    setValue(0);
    setGroupSeparatorShown(true);
    // Room for the widest number with its separator.
    setMinimumWidth(fontMetrics().horizontalAdvance(locale().toString(maximum)) + 48);
}

void TUpDown::stepBy(int steps)
{
    if (onChanging)
        onChanging();
    QSpinBox::stepBy(steps);
}

void TSettingsPages::buildMirroringPage()
{
    QWidget* page = tbsMirroring;

    edtBackDir = new QLineEdit(page);
    setHint(edtBackDir, QStringLiteral("ミラーリングしたいフォルダのトップを指定"));
    attachHelp(edtBackDir, 62);
    Label1 = buddyLabel(QStringLiteral("ミラーリング先トップフォルダ(&F)："), edtBackDir, page);
    btnBackDir = browseButton(page);
    setHint(btnBackDir, QStringLiteral("フォルダの参照"));
    attachHelp(btnBackDir, 62);

    chkExecute = new QCheckBox(QStringLiteral("自動実行(&E)"), page);
    setHint(chkExecute, QStringLiteral("チェックを入れると自動ミラーリング"));
    attachHelp(chkExecute, 63);

    grpRunOptions = new QGroupBox(QStringLiteral("ミラーリング実行のオプション"), page);
    updInterval = new TUpDown(1439, grpRunOptions);
    Edit3 = updInterval->edit();
    describeSpin(updInterval, QStringLiteral("実行する間隔を指定"), 64);
    Label8 = buddyLabel(QStringLiteral("実行する間隔(&I)："), updInterval, grpRunOptions);
    Label23 = new QLabel(QStringLiteral("分おき"), grpRunOptions);

    updEveryTimes = new TUpDown(99, grpRunOptions);
    Edit2 = updEveryTimes->edit();
    describeSpin(updEveryTimes, QStringLiteral("完全ミラーリングの間隔を指定"), 103);
    Label2 = buddyLabel(QStringLiteral("完全実行の間隔(&C)："), updEveryTimes, grpRunOptions);
    Label3 = new QLabel(QStringLiteral("回おき"), grpRunOptions);

    updKeepHistory = new TUpDown(30, grpRunOptions);
    Edit1 = updKeepHistory->edit();
    describeSpin(updKeepHistory, QStringLiteral("完全時に残す履歴の最大数を指定"), 104);
    Label5 = buddyLabel(QStringLiteral("履歴の最大数(&S)："), updKeepHistory, grpRunOptions);

    auto* grid = new QGridLayout(grpRunOptions);
    grid->addWidget(Label8, 0, 0);
    grid->addWidget(updInterval, 0, 1);
    grid->addWidget(Label23, 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(updEveryTimes, 1, 1);
    grid->addWidget(Label3, 1, 2);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(updKeepHistory, 2, 1);
    grid->setColumnStretch(3, 1);

    chkMirOnStart = new QCheckBox(QStringLiteral("起動直後に必ず実行する(&S)"), page);
    setHint(chkMirOnStart, QStringLiteral("起動直後も実行するときはオン"));
    attachHelp(chkMirOnStart, 65);

    rdgFolderSetting = new QGroupBox(QStringLiteral("フォルダの同期設定(準拠指定のものはこれに従う)"), page);
    const QString folderHint = QStringLiteral("フォルダのオプションのデフォルトを指定(準拠アイテムはこれに従う)");
    setHint(rdgFolderSetting, folderHint);
    attachHelp(rdgFolderSetting, 66);
    rdbFolderSync = new QRadioButton(QStringLiteral("フォルダの同期をとる(&L) - 同期"), rdgFolderSetting);
    rdbFolderKeep = new QRadioButton(QStringLiteral("元で削除されても先で保持(&R) - 同期保持"), rdgFolderSetting);
    rdbFolderTable = new QRadioButton(QStringLiteral("テーブルを利用(内部では保持)(&T) - テーブル"), rdgFolderSetting);
    auto* folderColumn = new QVBoxLayout(rdgFolderSetting);
    for (QRadioButton* b : {rdbFolderSync, rdbFolderKeep, rdbFolderTable}) {
        setHint(b, folderHint);
        attachHelp(b, 66);
        folderColumn->addWidget(b);
    }

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(4);
    folderRow->addWidget(edtBackDir, 1);
    folderRow->addWidget(btnBackDir);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(heading(QStringLiteral("ミラーリング先"), page));
    layout->addWidget(Label1);
    layout->addLayout(folderRow);
    layout->addSpacing(6);
    layout->addLayout(heading(QStringLiteral("実行する間隔など"), page));
    layout->addWidget(chkExecute);
    layout->addWidget(grpRunOptions);
    layout->addWidget(chkMirOnStart);
    layout->addWidget(rdgFolderSetting);
    layout->addStretch(1);
}

void TSettingsPages::buildIdlePage()
{
    QWidget* page = tbsIdleOption;

    rdbForce = new QRadioButton(QStringLiteral("何があっても実行する(&N)"), page);
    rdbForce->setProperty("Tag", 0);
    setHint(rdbForce, QStringLiteral("アイドル時を判定しない"));
    attachHelp(rdbForce, 67);

    // The usage figure is the system's own on the platform named here.
    rdbCPU = new QRadioButton(QStringLiteral("CPU 使用率が一定値以下なら実行(&C) - Linux only"), page);
    rdbCPU->setProperty("Tag", 1);
    setHint(rdbCPU, QStringLiteral("CPU使用率を元にミラーリングを実行"));
    attachHelp(rdbCPU, 68);
    updCPU = new TUpDown(100, page);
    edtCPU = updCPU->edit();
    describeSpin(updCPU, {}, 68);
    Label4 = buddyLabel(QStringLiteral("基底となる CPU 使用率(&P)："), updCPU, page);
    Label9 = new QLabel(QStringLiteral("％以下"), page);

    rdbOLF = new QRadioButton(QStringLiteral("Renvo負荷数(RLF)が一定値以下なら実行(&D)"), page);
    rdbOLF->setProperty("Tag", 2);
    setHint(rdbOLF, QStringLiteral("OS空転率を元にミラーリングを実行"));
    attachHelp(rdbOLF, 69);
    updOLF = new TUpDown(9999, page);
    edtOLF = updOLF->edit();
    describeSpin(updOLF, {}, 69);
    Label10 = buddyLabel(QStringLiteral("基底となる RLF(&O)："), updOLF, page);
    Label11 = new QLabel(QStringLiteral("以下"), page);

    chkIdlePostpone = new QCheckBox(QStringLiteral("非アイドル時には"), page);
    setHint(chkIdlePostpone, QStringLiteral("非アイドル時の延期設定"));
    attachHelp(chkIdlePostpone, 70);
    updPostpone = new TUpDown(100, page);
    edtPostpone = updPostpone->edit();
    describeSpin(updPostpone, QStringLiteral("非アイドル時に延期する時間を指定"), 70);
    lblPostpone = buddyLabel(QStringLiteral("分延期する(&S)"), updPostpone, page);

    lblOLFDiscript = new QLabel(QString::fromUtf8(kIdleIntroText), page);
    lblOLFDiscript->setWordWrap(true);
    // The short intro on one line: wrapped at the page's width it left "い。" alone below.
    lblOLFDiscript->setMinimumWidth(lblOLFDiscript->fontMetrics().horizontalAdvance(lblOLFDiscript->text()));
    btnOLFMeasure = pushButton(QStringLiteral("測定(&M)"), page);
    setHint(btnOLFMeasure, QStringLiteral("CPU使用率 or OLF を測定"));
    attachHelp(btnOLFMeasure, 71);
    lblOLF = new QLabel(QString::fromUtf8(kNotMeasuredText), page);

    auto* grid = new QGridLayout;
    grid->setColumnMinimumWidth(0, 20);
    grid->addWidget(rdbForce, 0, 0, 1, 4);
    grid->addWidget(rdbCPU, 1, 0, 1, 4);
    grid->addWidget(Label4, 2, 1);
    grid->addWidget(updCPU, 2, 2);
    grid->addWidget(Label9, 2, 3);
    grid->addWidget(rdbOLF, 3, 0, 1, 4);
    grid->addWidget(Label10, 4, 1);
    grid->addWidget(updOLF, 4, 2);
    grid->addWidget(Label11, 4, 3);
    grid->setColumnStretch(4, 1);

    auto* postponeRow = new QHBoxLayout;
    postponeRow->addWidget(chkIdlePostpone);
    postponeRow->addWidget(updPostpone);
    postponeRow->addWidget(lblPostpone);
    postponeRow->addStretch(1);

    auto* measureRow = new QHBoxLayout;
    measureRow->addWidget(btnOLFMeasure);
    measureRow->addWidget(lblOLF, 1);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(heading(QStringLiteral("アイドル時にのみ処理"), page));
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(postponeRow);
    layout->addSpacing(6);
    layout->addWidget(lblOLFDiscript);
    layout->addLayout(measureRow);
    layout->addStretch(1);
}

void TSettingsPages::buildDetailPage()
{
    QWidget* page = tbsDetail;

    btnRegister = pushButton(QStringLiteral("登録する(&R)"), page);
    setHint(btnRegister, QStringLiteral("スタートアップへ登録・上書き"));
    attachHelp(btnRegister, 72);
    btnCancelRegister = pushButton(QStringLiteral("登録を削除する(&E)"), page);
    setHint(btnCancelRegister, QStringLiteral("スタートアップへの登録を削除"));
    attachHelp(btnCancelRegister, 72);

    chkDelOnNotExists = new QCheckBox(QStringLiteral("指定先のアドレスが存在しない時，リストから削除(&D)"), page);
    attachHelp(chkDelOnNotExists, 73);
    chkDelFilesOnDelItem = new QCheckBox(QStringLiteral("ファイルリストからアイテム削除時，退避先も削除(&B)"), page);
    attachHelp(chkDelFilesOnDelItem, 74);
    chkQueryDelFiles = new QCheckBox(QStringLiteral("削除するか確認する(&Q)"), page);
    attachHelp(chkQueryDelFiles, 75);

    chkShowProgressDialog = new QCheckBox(QStringLiteral("バックアップ中に進行状況を表示する(&M)"), page);
    attachHelp(chkShowProgressDialog, 76);
    cmbProgressPosition = new QComboBox(page);
    cmbProgressPosition->addItems({QStringLiteral("右下"), QStringLiteral("左下"), QStringLiteral("左上"), QStringLiteral("右上")});
    setHint(cmbProgressPosition, QStringLiteral("進行状況の表示位置を指定する"));
    attachHelp(cmbProgressPosition, 106);
    Label6 = buddyLabel(QStringLiteral("表示位置(&S)："), cmbProgressPosition, page);

    chkLogFile = new QCheckBox(QStringLiteral("ミラーリング処理のログを残す(&L)"), page);
    setHint(chkLogFile, QStringLiteral("ログを残すか指定します"));
    attachHelp(chkLogFile, 114);
    chkLogAppend = new QCheckBox(QStringLiteral("追記(&N)"), page);
    attachHelp(chkLogAppend, 115);
    edtLogFile = new QLineEdit(page);
    setHint(edtLogFile, QStringLiteral("ミラーリングログファイルのパスを記入します"));
    attachHelp(edtLogFile, 116);
    Label7 = buddyLabel(QStringLiteral("ログファイル(&F)："), edtLogFile, page);
    btnSelectLog = browseButton(page);
    setHint(btnSelectLog, QStringLiteral("ファイルの参照"));
    attachHelp(btnSelectLog, 116);

    trbTaskPriority = new QSlider(Qt::Horizontal, page);
    trbTaskPriority->setRange(0, 5);
    trbTaskPriority->setPageStep(1);
    trbTaskPriority->setSingleStep(1);
    trbTaskPriority->setTickPosition(QSlider::TicksBelow);
    trbTaskPriority->setTickInterval(1);
    trbTaskPriority->setValue(5);
    attachHelp(trbTaskPriority, 107);
    Label12 = buddyLabel(QStringLiteral("処理の優先度(&P)："), trbTaskPriority, page);
    Label13 = new QLabel(QStringLiteral("<優先>"), page);
    Label14 = new QLabel(QStringLiteral("<アイドル>"), page);

    auto* registerRow = new QHBoxLayout;
    registerRow->addSpacing(12);
    registerRow->addWidget(btnRegister);
    registerRow->addWidget(btnCancelRegister);
    registerRow->addStretch(1);

    auto* listColumn = new QGridLayout;
    listColumn->setColumnMinimumWidth(0, 12);
    listColumn->setColumnMinimumWidth(1, 16);
    listColumn->addWidget(chkDelOnNotExists, 0, 1, 1, 2);
    listColumn->addWidget(chkDelFilesOnDelItem, 1, 1, 1, 2);
    listColumn->addWidget(chkQueryDelFiles, 2, 2);
    listColumn->setColumnStretch(2, 1);

    auto* progressRow = new QHBoxLayout;
    progressRow->addSpacing(12);
    progressRow->addWidget(chkShowProgressDialog);
    progressRow->addSpacing(8);
    progressRow->addWidget(Label6);
    progressRow->addWidget(cmbProgressPosition);
    progressRow->addStretch(1);

    auto* logRow = new QHBoxLayout;
    logRow->addSpacing(12);
    logRow->addWidget(chkLogFile);
    logRow->addWidget(chkLogAppend);
    logRow->addStretch(1);

    auto* logFileRow = new QHBoxLayout;
    logFileRow->addSpacing(28);
    logFileRow->addWidget(Label7);
    logFileRow->addWidget(edtLogFile, 1);
    logFileRow->addWidget(btnSelectLog);

    auto* priorityRow = new QHBoxLayout;
    priorityRow->addSpacing(12);
    priorityRow->addWidget(Label12);
    priorityRow->addWidget(Label13);
    priorityRow->addWidget(trbTaskPriority, 1);
    priorityRow->addWidget(Label14);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(heading(QStringLiteral("スタートアップへの登録"), page));
    layout->addLayout(registerRow);
    layout->addSpacing(4);
    layout->addLayout(heading(QStringLiteral("ファイルリストに関する処理"), page));
    layout->addLayout(listColumn);
    layout->addSpacing(4);
    layout->addLayout(heading(QStringLiteral("その他"), page));
    layout->addLayout(progressRow);
    layout->addLayout(logRow);
    layout->addLayout(logFileRow);
    layout->addLayout(priorityRow);
    layout->addStretch(1);
}

// The names of the description, for finding a control and for test messages.
void TSettingsPages::nameControls()
{
    const std::pair<QWidget*, const char*> controls[] = {
        {Label1, "Label1"},
        {edtBackDir, "edtBackDir"},
        {btnBackDir, "btnBackDir"},
        {chkExecute, "chkExecute"},
        {grpRunOptions, "grpRunOptions"},
        {Label8, "Label8"},
        {updInterval, "updInterval"},
        {Edit3, "Edit3"},
        {Label23, "Label23"},
        {Label2, "Label2"},
        {updEveryTimes, "updEveryTimes"},
        {Edit2, "Edit2"},
        {Label3, "Label3"},
        {Label5, "Label5"},
        {updKeepHistory, "updKeepHistory"},
        {Edit1, "Edit1"},
        {chkMirOnStart, "chkMirOnStart"},
        {rdgFolderSetting, "rdgFolderSetting"},
        {rdbFolderSync, "rdbFolderSync"},
        {rdbFolderKeep, "rdbFolderKeep"},
        {rdbFolderTable, "rdbFolderTable"},
        {rdbForce, "rdbForce"},
        {rdbCPU, "rdbCPU"},
        {rdbOLF, "rdbOLF"},
        {Label4, "Label4"},
        {updCPU, "updCPU"},
        {edtCPU, "edtCPU"},
        {Label9, "Label9"},
        {Label10, "Label10"},
        {updOLF, "updOLF"},
        {edtOLF, "edtOLF"},
        {Label11, "Label11"},
        {chkIdlePostpone, "chkIdlePostpone"},
        {updPostpone, "updPostpone"},
        {edtPostpone, "edtPostpone"},
        {lblPostpone, "lblPostpone"},
        {lblOLFDiscript, "lblOLFDiscript"},
        {btnOLFMeasure, "btnOLFMeasure"},
        {lblOLF, "lblOLF"},
        {btnRegister, "btnRegister"},
        {btnCancelRegister, "btnCancelRegister"},
        {chkDelOnNotExists, "chkDelOnNotExists"},
        {chkDelFilesOnDelItem, "chkDelFilesOnDelItem"},
        {chkQueryDelFiles, "chkQueryDelFiles"},
        {chkShowProgressDialog, "chkShowProgressDialog"},
        {Label6, "Label6"},
        {cmbProgressPosition, "cmbProgressPosition"},
        {chkLogFile, "chkLogFile"},
        {chkLogAppend, "chkLogAppend"},
        {Label7, "Label7"},
        {edtLogFile, "edtLogFile"},
        {btnSelectLog, "btnSelectLog"},
        {Label12, "Label12"},
        {trbTaskPriority, "trbTaskPriority"},
        {Label13, "Label13"},
        {Label14, "Label14"},
    };
    for (const auto& [w, name] : controls)
        w->setObjectName(QString::fromLatin1(name));
}

}  // namespace renvo
