#pragma once
// The progress window of a run: a small tool window in a corner of the screen with an animated
// icon, the phase, a bar, the item count and a cancel button. It has no close box; only its
// owner closes it, through finish(), when the run is over.

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>

#include "engine/MirrorHost.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace renvo {

// Where the window's frame goes on a screen by the ProgressPosition setting: 0 bottom right,
// 1 bottom left, 2 top left, 3 top right; any other value leaves it where it is. The screen is
// its full geometry, panels included, as the setting has always meant.
QPoint progressPlacement(int position, QRect screen, QSize frame, QPoint current);

class TfrmProgress : public QWidget {
    Q_OBJECT

public:
    // frames: the animation, shown in turn every 400 ms; onCancel: asks the run to stop.
    TfrmProgress(bool standardRun, int progressPosition, QList<QIcon> frames, QIcon cancelGlyph,
                 std::function<void()> onCancel, QWidget* parent = nullptr);
    ~TfrmProgress() override;

    // The run's state, as the owner's timer reads it (at most 20 times a second).
    void setProgress(const RunProgress& progress);
    // Closes the window: the one close it does not ignore.
    void finish();
    // The animation frame shown now.
    int frameIndex() const { return frameIndex_; }

    QWidget* imgIcon;  // the 40 x 40 icon area in the top left corner
    QLabel* lblCurWork;
    QProgressBar* prbWork;
    QLabel* lblFiles;
    QPushButton* BitBtn1;
    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    bool place();
    void BitBtn1Click();
    void Timer1Timer();

    bool standardRun_;
    int progressPosition_;
    QList<QIcon> frames_;
    std::function<void()> onCancel_;
    int frameIndex_ = 0;
    const QIcon* shownFrame_ = nullptr;  // what the icon area draws
    bool cancelled_ = false;
    bool waiting_ = false;       // "待機中..." shows until the run's next report
    RunProgress shownProgress_;  // the last report, or the state at the start
    bool finishing_ = false;
    QTimer* placeTimer_;  // places the window again once the window manager has framed it
    int placeTicks_ = 0;
};

}  // namespace renvo
