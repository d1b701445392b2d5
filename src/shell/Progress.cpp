#include "shell/Progress.h"

#include "shell/FrameExtents.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace renvo {

QPoint progressPlacement(int position, QRect screen, QSize frame, QPoint current)
{
    const int left = screen.x();
    const int top = screen.y();
    const int right = screen.x() + screen.width() - frame.width();
    const int bottom = screen.y() + screen.height() - frame.height();
    switch (position) {
    case 0: return {right, bottom};
    case 1: return {left, bottom};
    case 2: return {left, top};
    case 3: return {right, top};
    default: return current;
    }
}

namespace {

constexpr int kAreaSize = 40;
constexpr int kIconOffset = 8;
constexpr int kIconSize = 32;
constexpr int kFrameMs = 400;
constexpr int kPlaceMs = 100;
constexpr int kMostPlaceTicks = 30;

// The icon area draws the frame the form points it at. It clears itself with the button face
// first: a frame with transparent parts must not show the one before it.
class IconArea : public QWidget {
public:
    explicit IconArea(const QIcon* const* frame, QWidget* parent) : QWidget(parent), frame_(frame)
    {
        setFixedSize(kAreaSize, kAreaSize);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(QRect(0, 0, kAreaSize, kAreaSize), palette().button());
        if (*frame_)
            (*frame_)->paint(&p, QRect(kIconOffset, kIconOffset, kIconSize, kIconSize));
    }

private:
    const QIcon* const* frame_;
};

}  // namespace

TfrmProgress::TfrmProgress(bool standardRun, int progressPosition, QList<QIcon> frames, QIcon cancelGlyph,
                           std::function<void()> onCancel, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      standardRun_(standardRun),
      progressPosition_(progressPosition),
      frames_(std::move(frames)),
      onCancel_(std::move(onCancel))
{
    // A run starts by itself: its window must not take the keys the user is typing elsewhere,
    // where a space would cancel the run.
    setAttribute(Qt::WA_ShowWithoutActivating);

    imgIcon = new IconArea(&shownFrame_, this);
    lblCurWork = new QLabel(QStringLiteral("準備をしています..."), this);
    prbWork = new QProgressBar(this);
    prbWork->setRange(0, 100);
    prbWork->setValue(0);
    prbWork->setTextVisible(false);
    prbWork->setFixedHeight(14);
    lblFiles = new QLabel(QStringLiteral("0 / 0"), this);
    lblFiles->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblFiles->setMinimumWidth(90);

    BitBtn1 = new QPushButton(this);
    BitBtn1->setIcon(cancelGlyph);
    BitBtn1->setIconSize(QSize(24, 24));
    BitBtn1->setFixedSize(36, 36);
    BitBtn1->setToolTip(QStringLiteral("ミラーリングをキャンセルします"));
    // Enter presses the button as Space does, though the window is no dialog.
    BitBtn1->setAutoDefault(true);
    BitBtn1->setDefault(true);
    setFocusProxy(BitBtn1);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmProgress::BitBtn1Click);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kFrameMs);
    connect(Timer1, &QTimer::timeout, this, &TfrmProgress::Timer1Timer);
    placeTimer_ = new QTimer(this);
    placeTimer_->setInterval(kPlaceMs);
    connect(placeTimer_, &QTimer::timeout, this, &TfrmProgress::place);

    auto* counts = new QHBoxLayout;
    counts->setSpacing(6);
    counts->addWidget(prbWork, 1);
    counts->addWidget(lblFiles);
    auto* middle = new QVBoxLayout;
    middle->setContentsMargins(0, 4, 0, 4);
    middle->setSpacing(4);
    middle->addWidget(lblCurWork);
    middle->addLayout(counts);
    auto* row = new QHBoxLayout(this);
    // The icon area sits in the corner, as the frames are drawn for it.
    row->setContentsMargins(0, 0, 8, 0);
    row->setSpacing(4);
    row->addWidget(imgIcon, 0, Qt::AlignTop);
    row->addLayout(middle, 1);
    row->addWidget(BitBtn1, 0, Qt::AlignVCenter);

    setWindowTitle(QString::fromUtf8(standardRun_ ? "ミラーリング中..." : "完全ミラーリング中..."));
    // The client area is the familiar 305 x 52 unless the fonts need more.
    row->activate();
    setFixedSize(sizeHint().expandedTo(QSize(305, 52)));
    shownFrame_ = frames_.isEmpty() ? nullptr : &frames_.constFirst();
}

TfrmProgress::~TfrmProgress() = default;

// A window manager frames the window after it is mapped and may put it elsewhere meanwhile
// (centred, or the client where asked and the frame around it, past the screen's edge): the
// window goes where its frame fits the corner, again until the manager's frame is known and
// the window is there, or for three seconds where no manager says.
bool TfrmProgress::place()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || progressPosition_ < 0 || progressPosition_ > 3 || !isVisible() ||
        ++placeTicks_ > kMostPlaceTicks) {
        placeTimer_->stop();
        return false;
    }
    QWindow* window = windowHandle();
    const std::optional<QMargins> said = window ? managerFrame(window) : std::nullopt;
    const QMargins margins = said.value_or(window ? window->frameMargins() : QMargins());
    const QSize frame = size().grownBy(margins);
    const QPoint client =
        progressPlacement(progressPosition_, screen->geometry(), frame, pos()) + QPoint(margins.left(), margins.top());
    if (geometry().topLeft() != client)
        setGeometry(QRect(client, size()));
    else if (said)
        placeTimer_->stop();
    return true;
}

void TfrmProgress::FormShow()
{
    placeTicks_ = 0;
    if (place())
        placeTimer_->start();
    if (!cancelled_)
        setWindowTitle(QString::fromUtf8(standardRun_ ? "ミラーリング中..." : "完全ミラーリング中..."));
    frameIndex_ = 0;
    shownFrame_ = frames_.isEmpty() ? nullptr : &frames_.constFirst();
    imgIcon->update();
    BitBtn1->setFocus();
    Timer1->start();
}

void TfrmProgress::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window restored by the window manager keeps its place and its animation.
    if (!event->spontaneous())
        FormShow();
}

void TfrmProgress::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Timer1->stop();
}

void TfrmProgress::closeEvent(QCloseEvent* event)
{
    // The run decides when the window goes. Any other close is the user's stop, as Escape is:
    // a window manager may draw a close button all the same (openbox does), and it must work.
    if (finishing_) {
        event->accept();
        return;
    }
    event->ignore();
    if (!cancelled_)
        BitBtn1->click();
}

void TfrmProgress::keyPressEvent(QKeyEvent* event)
{
    // Escape is the user's way to say stop: it presses the cancel button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmProgress::finish()
{
    finishing_ = true;
    Timer1->stop();
    close();
    finishing_ = false;
}

void TfrmProgress::setProgress(const RunProgress& progress)
{
    // After a cancel the label says "待機中..." until the run reports anything new: the owner's
    // timer reads the same state over and over meanwhile.
    if (!waiting_ || progress != shownProgress_) {
        waiting_ = false;
        lblCurWork->setText(QString::fromUtf8(phaseCaption(progress.phase)));
    }
    shownProgress_ = progress;
    // A bar without a maximum would turn into a busy indicator; it stays empty instead.
    const int maximum = std::max(progress.maximum, 0);
    prbWork->setRange(0, std::max(maximum, 1));
    prbWork->setValue(std::clamp(progress.position, 0, std::max(maximum, 1)));
    lblFiles->setText(QStringLiteral("%1 / %2").arg(progress.position).arg(progress.maximum));
    update();
}

void TfrmProgress::BitBtn1Click()
{
    cancelled_ = true;
    waiting_ = true;
    if (onCancel_)
        onCancel_();
    setWindowTitle(QStringLiteral("キャンセル待ちです..."));
    lblCurWork->setText(QStringLiteral("待機中..."));
    update();
}

void TfrmProgress::Timer1Timer()
{
    if (frames_.isEmpty())
        return;
    frameIndex_ = (frameIndex_ + 1) % static_cast<int>(frames_.size());
    shownFrame_ = &frames_.at(frameIndex_);
    imgIcon->update();
}

}  // namespace renvo
