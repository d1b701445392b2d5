#pragma once
// The about box: the program's name, version and revision, the Qt it runs on, the program
// folder it runs from, and its licence line.

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace renvo {

inline constexpr char kAboutCaption[] = "バージョン情報";

// The version and revision the build gives the program: "3.0 (abc1234)".
QString programVersion();

class AboutBox : public QDialog {
    Q_OBJECT

public:
    AboutBox(QString programFolder, QWidget* parent = nullptr);
    ~AboutBox() override;

    QLabel* lblProgram;  // "Renvo"
    QLabel* lblVersion;
    QLabel* lblQt;
    QLabel* lblFolder;
    QLabel* lblLicence;  // the copyright line
    QPushButton* btnOk;  // Enter and Escape close the box
};

}  // namespace renvo
