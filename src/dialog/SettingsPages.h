#pragma once
// The three settings pages of TfrmProperty (mirroring, idle, detail): their controls, the
// loading of the settings record into them, the storing back, the dependent enabling, the
// tracking of changes for Apply, the load measurement and the autostart registration.
// The dialog frame owns the page control, the buttons and the saving.
//
// Each number edit of the description is a spin box (TUpDown) named after the up-down control;
// the Edit members point at the spin boxes' line edits: Edit3/updInterval, Edit2/updEveryTimes,
// Edit1/updKeepHistory, edtCPU/updCPU, edtOLF/updOLF, edtPostpone/updPostpone.

#include "prompt/Prompt.h"
#include "settings/Settings.h"

#include <QObject>
#include <QSpinBox>

#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace renvo {

class IdleDetector;

// A spin box that reports a step by its arrows, the arrow keys, Page Up/Down or the wheel
// before it takes place (typing into the edit is no step).
class TUpDown : public QSpinBox {
public:
    TUpDown(int maximum, QWidget* parent);
    QLineEdit* edit() const { return lineEdit(); }
    void stepBy(int steps) override;

    std::function<void()> onChanging;
};

// Texts the pages show and ask with.
inline constexpr char kDirChooserCaption[] = "ディレクトリの選択";
inline constexpr char kLogChooserCaption[] = "ファイルの指定";
inline constexpr char kLogChooserFilter[] = "全てのファイル (*)";
inline constexpr char kLogFolderCaption[] = "フォルダエラー";
inline constexpr char kLogNameResetCaption[] = "ログファイル名初期化";
inline constexpr char kLogNameResetText[] = "デフォルトの名前にします";
inline constexpr char kTopFolderNotAbsoluteText[] =
    "ミラーリング先トップフォルダは，ルートから始まる完全なパスで指定して下さい";
inline constexpr char kCreateDirQuestion[] = "指定されたディレクトリが存在しません。作成しますか？";
inline constexpr char kLogFolderFailedText[] = "ディレクトリを作成することができません";
inline constexpr char kMeasuringText[] = "測定しています...";
inline constexpr char kNotMeasuredText[] = "(測定されていません)";
inline constexpr char kIdleIntroText[] = "CPU使用率/RLF 計測するには，上のラジオボタンで該当項目を選択して下さい。";
inline constexpr char kCpuMeasureText[] =
    "※現在の CPU 使用率を測定するには，下のボタンを押して下さい。測定するときは，必ず他の作業をしたりせず，"
    "CPU を使いすぎるアプリケーションを終了しておいて下さい。";
inline constexpr char kRlfMeasureText[] =
    "※現在の RLF を測定するには，下のボタンを押して下さい。測定するときは，必ず他の作業をしたりせず，"
    "CPU を使いすぎるアプリケーションを終了しておいて下さい。";

// The question asked for a missing log folder.
std::string logFolderQuestion(const std::string& folder);
// The hint of a task priority position (0..5); empty for another.
QString taskPriorityHint(int position);

class TSettingsPages : public QObject {
    Q_OBJECT
public:
    // owner: the dialog (owner of the boxes); idle: the main form's IdleDetector.
    // programFolder ends with the path delimiter.
    TSettingsPages(Prompt& prompt, IdleDetector& idle, std::string programFolder, QWidget* owner);
    ~TSettingsPages() override;

    QWidget* tbsMirroring;
    QWidget* tbsIdleOption;
    QWidget* tbsDetail;

    // Controls and their dependent enabling follow the record.
    void load(const TSettings& s);
    // The controls into `s`. False when something could not be done: a box has said why, and
    // the caller commits nothing.
    bool store(TSettings& s);

    // The measurements the measure button makes; the detector's unless replaced.
    std::function<int32_t()> measureCpu;
    std::function<int32_t()> measureRlf;

signals:
    void changed();

public:
    // Mirroring page.
    QLabel* Label1;  // "ミラーリング先トップフォルダ(&F)："
    QLineEdit* edtBackDir;
    QPushButton* btnBackDir;
    QCheckBox* chkExecute;
    QGroupBox* grpRunOptions;  // "ミラーリング実行のオプション"
    QLabel* Label8;   // "実行する間隔(&I)："
    TUpDown* updInterval;
    QLineEdit* Edit3;
    QLabel* Label23;  // "分おき"
    QLabel* Label2;   // "完全実行の間隔(&C)："
    TUpDown* updEveryTimes;
    QLineEdit* Edit2;
    QLabel* Label3;   // "回おき"
    QLabel* Label5;   // "履歴の最大数(&S)："
    TUpDown* updKeepHistory;
    QLineEdit* Edit1;
    QCheckBox* chkMirOnStart;
    QGroupBox* rdgFolderSetting;
    QRadioButton* rdbFolderSync;
    QRadioButton* rdbFolderKeep;
    QRadioButton* rdbFolderTable;

    // Idle page.
    QRadioButton* rdbForce;  // property "Tag" 0
    QRadioButton* rdbCPU;    // 1
    QRadioButton* rdbOLF;    // 2
    QLabel* Label4;   // "基底となる CPU 使用率(&P)："
    TUpDown* updCPU;
    QLineEdit* edtCPU;
    QLabel* Label9;   // "％以下"
    QLabel* Label10;  // "基底となる RLF(&O)："
    TUpDown* updOLF;
    QLineEdit* edtOLF;
    QLabel* Label11;  // "以下"
    QCheckBox* chkIdlePostpone;
    TUpDown* updPostpone;
    QLineEdit* edtPostpone;
    QLabel* lblPostpone;  // "分延期する(&S)"
    QLabel* lblOLFDiscript;
    QPushButton* btnOLFMeasure;
    QLabel* lblOLF;

    // Detail page.
    QPushButton* btnRegister;
    QPushButton* btnCancelRegister;
    QCheckBox* chkDelOnNotExists;
    QCheckBox* chkDelFilesOnDelItem;
    QCheckBox* chkQueryDelFiles;
    QCheckBox* chkShowProgressDialog;
    QLabel* Label6;  // "表示位置(&S)："
    QComboBox* cmbProgressPosition;
    QCheckBox* chkLogFile;
    QCheckBox* chkLogAppend;
    QLabel* Label7;  // "ログファイル(&F)："
    QLineEdit* edtLogFile;
    QPushButton* btnSelectLog;
    QLabel* Label12;  // "処理の優先度(&P)："
    QSlider* trbTaskPriority;
    QLabel* Label13;  // "<優先>"
    QLabel* Label14;  // "<アイドル>"

    // Handlers, public so a test can drive them as the events would.
    void chkExecuteClick();
    void chkDelFilesOnDelItemClick();
    void chkLogFileClick();
    void rdbForceClick(int mode);
    void btnOLFMeasureClick();
    void btnBackDirClick();
    void btnSelectLogClick();
    void btnRegisterClick();
    void btnCancelRegisterClick();
    void trbTaskPriorityChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMirroringPage();
    void buildIdlePage();
    void buildDetailPage();
    void nameControls();
    void connectHandlers();
    void track();
    int folderSettingIndex() const;
    void setFolderSettingIndex(int index);
    void showPage(QWidget* page, QWidget* focus);
    bool chosenFolderReady(const std::string& folder);

    Prompt& prompt_;
    IdleDetector& idle_;
    std::string programFolder_;
    QWidget* owner_;
    bool loading_ = false;
    bool measuring_ = false;
};

}  // namespace renvo
