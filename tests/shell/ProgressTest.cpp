// The progress window as the user sees it on the offscreen screen: where it goes, what it says
// during a run and after the cancel button, how it animates, and that only its owner closes it.

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "shell/Progress.h"

using namespace renvo;

namespace {

QIcon solid(QColor colour)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

const QList<QColor> kFrameColours{QColor(200, 0, 0), QColor(0, 160, 0), QColor(0, 0, 200), QColor(200, 200, 0)};

QList<QIcon> frames()
{
    QList<QIcon> icons;
    for (const QColor& c : kFrameColours)
        icons << solid(c);
    return icons;
}

struct Window {
    explicit Window(bool standardRun = true, int position = 0)
        : form(standardRun, position, frames(), solid(Qt::black), [this] { ++cancels; })
    {
    }
    int cancels = 0;
    TfrmProgress form;
};

bool showAndWait(QWidget& w)
{
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

QColor iconColour(TfrmProgress& form)
{
    return form.imgIcon->grab().toImage().pixelColor(20, 20);
}

}  // namespace

TEST(ProgressPlacement, CornersOfTheScreen)
{
    const QRect screen(0, 0, 1024, 768);
    const QSize frame(311, 80);
    const QPoint current(50, 60);
    const QPoint bottomRight = progressPlacement(0, screen, frame, current);
    // Flush with the corner: the frame's last pixel is the screen's last pixel.
    EXPECT_EQ(QRect(bottomRight, frame).bottomRight(), screen.bottomRight());
    EXPECT_EQ(bottomRight, QPoint(713, 688));
    EXPECT_EQ(progressPlacement(1, screen, frame, current), QPoint(0, 688));
    EXPECT_EQ(progressPlacement(2, screen, frame, current), QPoint(0, 0));
    EXPECT_EQ(progressPlacement(3, screen, frame, current), QPoint(713, 0));
    for (int other : {-1, 4, 100})
        EXPECT_EQ(progressPlacement(other, screen, frame, current), current) << other;
}

TEST(ProgressPlacement, ScreenAwayFromTheOrigin)
{
    // A primary screen right of another one, lower down.
    const QRect screen(1920, 200, 1280, 1024);
    const QSize frame(305, 52);
    EXPECT_EQ(progressPlacement(0, screen, frame, {}), QPoint(1920 + 1280 - 305, 200 + 1024 - 52));
    EXPECT_EQ(progressPlacement(1, screen, frame, {}), QPoint(1920, 200 + 1024 - 52));
    EXPECT_EQ(progressPlacement(2, screen, frame, {}), QPoint(1920, 200));
    EXPECT_EQ(progressPlacement(3, screen, frame, {}), QPoint(1920 + 1280 - 305, 200));
}

TEST(ProgressWindow, ShownInTheCornerOfThePrimaryScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (int position = 0; position < 4; ++position) {
        Window w(true, position);
        ASSERT_TRUE(showAndWait(w.form));
        const QRect frame = w.form.frameGeometry();
        const QPoint corner[] = {screen.bottomRight(), screen.bottomLeft(), screen.topLeft(), screen.topRight()};
        const QPoint windowCorner[] = {frame.bottomRight(), frame.bottomLeft(), frame.topLeft(), frame.topRight()};
        EXPECT_EQ(windowCorner[position], corner[position]) << "position " << position;
    }
    // Any other setting leaves the window where its owner put it.
    Window w(true, 9);
    w.form.move(123, 45);
    ASSERT_TRUE(showAndWait(w.form));
    EXPECT_EQ(w.form.pos(), QPoint(123, 45));
}

TEST(ProgressWindow, ToolWindowWithoutCloseBox)
{
    Window w;
    const Qt::WindowFlags flags = w.form.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_GE(w.form.width(), 305);
    EXPECT_GE(w.form.height(), 52);
}

TEST(ProgressWindow, AnyCloseButTheOwnersIsTheUsersStop)
{
    Window w;
    ASSERT_TRUE(showAndWait(w.form));
    // A window manager that draws a close button all the same: it is the user's stop, once.
    for (int i = 0; i < 2; ++i) {
        QCloseEvent byWindowManager;
        QApplication::sendEvent(&w.form, &byWindowManager);
        EXPECT_FALSE(byWindowManager.isAccepted());
        EXPECT_FALSE(w.form.close());
        EXPECT_TRUE(w.form.isVisible());
        EXPECT_EQ(w.cancels, 1);
        EXPECT_EQ(w.form.windowTitle(), QStringLiteral("キャンセル待ちです..."));
    }

    w.form.finish();
    EXPECT_FALSE(w.form.isVisible());
    EXPECT_FALSE(w.form.Timer1->isActive());
    // Shown again for another run, it is as stubborn as before.
    ASSERT_TRUE(showAndWait(w.form));
    EXPECT_FALSE(w.form.close());
    EXPECT_TRUE(w.form.isVisible());
}

TEST(ProgressWindow, CaptionsAndFirstTexts)
{
    Window standard(true);
    ASSERT_TRUE(showAndWait(standard.form));
    EXPECT_EQ(standard.form.windowTitle(), QStringLiteral("ミラーリング中..."));
    EXPECT_EQ(standard.form.lblCurWork->text(), QStringLiteral("準備をしています..."));
    EXPECT_EQ(standard.form.lblFiles->text(), QStringLiteral("0 / 0"));
    EXPECT_TRUE(standard.form.lblFiles->alignment() & Qt::AlignRight);
    EXPECT_EQ(standard.form.prbWork->minimum(), 0);
    EXPECT_EQ(standard.form.prbWork->maximum(), 100);
    EXPECT_EQ(standard.form.prbWork->value(), 0);
    EXPECT_FALSE(standard.form.prbWork->isTextVisible());
    EXPECT_EQ(standard.form.frameIndex(), 0);
    EXPECT_FALSE(standard.form.BitBtn1->toolTip().isEmpty());

    Window complete(false);
    ASSERT_TRUE(showAndWait(complete.form));
    EXPECT_EQ(complete.form.windowTitle(), QStringLiteral("完全ミラーリング中..."));
}

TEST(ProgressWindow, ProgressTexts)
{
    Window w;
    ASSERT_TRUE(showAndWait(w.form));
    w.form.setProgress({RunPhase::Mirror, 3, 17});
    EXPECT_EQ(w.form.lblCurWork->text(), QStringLiteral("ミラーリングしています..."));
    EXPECT_EQ(w.form.prbWork->maximum(), 17);
    EXPECT_EQ(w.form.prbWork->value(), 3);
    EXPECT_EQ(w.form.lblFiles->text(), QStringLiteral("3 / 17"));

    // Plain decimal, no grouping, however large a first run is.
    w.form.setProgress({RunPhase::Check, 123456, 2000000});
    EXPECT_EQ(w.form.lblFiles->text(), QStringLiteral("123456 / 2000000"));
    EXPECT_EQ(w.form.prbWork->value(), 123456);

    for (RunPhase phase : {RunPhase::Prepare, RunPhase::Check, RunPhase::Mirror, RunPhase::Delete, RunPhase::History}) {
        w.form.setProgress({phase, 0, 0});
        EXPECT_EQ(w.form.lblCurWork->text(), QString::fromUtf8(phaseCaption(phase)));
    }
    // Nothing to count yet: an empty bar, not a busy indicator.
    EXPECT_EQ(w.form.lblFiles->text(), QStringLiteral("0 / 0"));
    EXPECT_GT(w.form.prbWork->maximum(), w.form.prbWork->minimum());
    EXPECT_EQ(w.form.prbWork->value(), 0);
}

TEST(ProgressWindow, CancelAsksTheRunToStopAndSaysSo)
{
    Window w(false);
    ASSERT_TRUE(showAndWait(w.form));
    w.form.setProgress({RunPhase::Mirror, 5, 10});
    QTest::mouseClick(w.form.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(w.cancels, 1);
    EXPECT_EQ(w.form.windowTitle(), QStringLiteral("キャンセル待ちです..."));
    EXPECT_EQ(w.form.lblCurWork->text(), QStringLiteral("待機中..."));
    EXPECT_TRUE(w.form.isVisible());

    // The owner reads the same state again: the label still says the window waits.
    w.form.setProgress({RunPhase::Mirror, 5, 10});
    EXPECT_EQ(w.form.lblCurWork->text(), QStringLiteral("待機中..."));
    // The run's next report replaces it, counts and phase; the caption still waits.
    w.form.setProgress({RunPhase::Mirror, 6, 10});
    EXPECT_EQ(w.form.lblFiles->text(), QStringLiteral("6 / 10"));
    EXPECT_EQ(w.form.lblCurWork->text(), QString::fromUtf8(phaseCaption(RunPhase::Mirror)));
    EXPECT_EQ(w.form.windowTitle(), QStringLiteral("キャンセル待ちです..."));

    QTest::mouseClick(w.form.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(w.cancels, 2);
    EXPECT_EQ(w.form.windowTitle(), QStringLiteral("キャンセル待ちです..."));
}

TEST(ProgressWindow, KeysPressTheCancelButton)
{
    Window w;
    ASSERT_TRUE(showAndWait(w.form));
    EXPECT_EQ(w.form.focusWidget(), w.form.BitBtn1);
    QTest::keyClick(w.form.BitBtn1, Qt::Key_Space);
    EXPECT_EQ(w.cancels, 1);
    QTest::keyClick(w.form.BitBtn1, Qt::Key_Return);
    EXPECT_EQ(w.cancels, 2);
    QTest::keyClick(w.form.BitBtn1, Qt::Key_Enter);
    EXPECT_EQ(w.cancels, 3);
    QTest::keyClick(w.form.BitBtn1, Qt::Key_Escape);
    EXPECT_EQ(w.cancels, 4);
    // Other keys do nothing.
    QTest::keyClick(w.form.BitBtn1, Qt::Key_A);
    QTest::keyClick(&w.form, Qt::Key_Tab);
    EXPECT_EQ(w.cancels, 4);
    EXPECT_EQ(w.form.lblCurWork->text(), QStringLiteral("待機中..."));
}

TEST(ProgressWindow, FramesCycleOnTheTimer)
{
    Window w;
    ASSERT_TRUE(showAndWait(w.form));
    EXPECT_EQ(w.form.Timer1->interval(), 400);
    EXPECT_EQ(w.form.frameIndex(), 0);
    EXPECT_EQ(iconColour(w.form), kFrameColours[0]);
    for (int next : {1, 2, 3, 0, 1}) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.form.frameIndex() == next; }, 5000)) << "frame " << next;
        EXPECT_EQ(iconColour(w.form), kFrameColours[next]) << "frame " << next;
    }
    // A new show starts the animation over.
    w.form.finish();
    ASSERT_TRUE(showAndWait(w.form));
    EXPECT_EQ(w.form.frameIndex(), 0);
    EXPECT_EQ(iconColour(w.form), kFrameColours[0]);
}

TEST(ProgressWindow, IconAreaIsClearedBeforeEachFrame)
{
    // A frame half see-through; a button face unlike the window's background.
    QPixmap halfBlue(32, 32);
    halfBlue.fill(QColor(0, 0, 255, 128));
    TfrmProgress form(true, 0, {QIcon(halfBlue)}, solid(Qt::black), [] {});
    QPalette palette = form.palette();
    const QColor face(255, 0, 0);
    palette.setColor(QPalette::Button, face);
    form.setPalette(palette);
    ASSERT_TRUE(showAndWait(form));

    QImage image(form.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    form.render(&image);
    const QColor once = image.pixelColor(20, 20);
    form.render(&image);
    EXPECT_EQ(image.pixelColor(1, 1), face);
    EXPECT_EQ(image.pixelColor(39, 1), face);
    // Drawn twice, the frame is still blended with the face once.
    EXPECT_EQ(image.pixelColor(20, 20), once);
    EXPECT_NEAR(once.red(), 127, 2);
    EXPECT_EQ(once.green(), 0);
    EXPECT_NEAR(once.blue(), 128, 2);
}
