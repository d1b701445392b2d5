// The tray icon on the offscreen platform: no tray exists there, so the events, the animation
// and the tooltip rule are driven through Qt's activations and the message table.
#include "shell/TrayIcon.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace renvo {
namespace {

bool hasOpaquePixel(const QIcon& icon, int size)
{
    const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

bool hasTransparentPixel(const QIcon& icon, int size)
{
    const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 0)
                return true;
    return false;
}

QImage image32(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

// A tray icon that counts its double clicks.
struct Recorder {
    TTrayIcon tray;
    int dblClicks = 0;

    Recorder() { tray.OnDblClick = [this] { ++dblClicks; }; }
};

TEST(ProgramIcons, EveryIconDrawsAtTrayAndMenuSizes)
{
    std::vector<QIcon> icons{appIcon(), cancelGlyph()};
    for (int i = 0; i < 6; ++i)
        icons.push_back(menuGlyph(i));
    for (const QIcon& frame : animationFrames())
        icons.push_back(frame);
    ASSERT_EQ(icons.size(), 12u);
    for (size_t i = 0; i < icons.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(icons[i].isNull());
        EXPECT_FALSE(icons[i].pixmap(16, 16).isNull());
        EXPECT_FALSE(icons[i].pixmap(32, 32).isNull());
        EXPECT_TRUE(hasOpaquePixel(icons[i], 16));
        EXPECT_TRUE(hasOpaquePixel(icons[i], 32));
    }
    EXPECT_TRUE(menuGlyph(-1).isNull());
    EXPECT_TRUE(menuGlyph(6).isNull());
}

TEST(ProgramIcons, AnimationFramesAreDistinctAndSeeThrough)
{
    const QList<QIcon> frames = animationFrames();
    ASSERT_EQ(frames.size(), 4);
    for (int i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(hasTransparentPixel(frames[i], 32)) << i;
        for (int j = i + 1; j < frames.size(); ++j)
            EXPECT_NE(image32(frames[i]), image32(frames[j])) << i << " " << j;
    }
    // The glyphs are different pictures too: a copied file would show the same image twice.
    for (int i = 0; i < 6; ++i)
        for (int j = i + 1; j < 6; ++j)
            EXPECT_NE(image32(menuGlyph(i)), image32(menuGlyph(j))) << i << " " << j;
}

TEST(TrayIconProperties, DefaultsAndAnimateRateFloor)
{
    TTrayIcon tray;
    EXPECT_EQ(tray.AnimateRate(), 500);
    EXPECT_FALSE(tray.Visible());
    EXPECT_EQ(tray.TipHelp(), QStringLiteral("TipHelp"));
    EXPECT_EQ(tray.trayIcon()->toolTip(), QStringLiteral("TipHelp"));

    tray.setAnimateRate(50);
    EXPECT_EQ(tray.AnimateRate(), 100);
    tray.setAnimateRate(99);
    EXPECT_EQ(tray.AnimateRate(), 100);
    tray.setAnimateRate(250);
    EXPECT_EQ(tray.AnimateRate(), 250);
}

TEST(TrayIconTip, FirstLineCutAt62BytesOnACharacterBoundary)
{
    TTrayIcon tray;
    const QString ascii70(70, QLatin1Char('a'));
    ASSERT_EQ(ascii70.toUtf8().size(), 70);
    tray.setTipHelp(ascii70);
    EXPECT_EQ(tray.TipHelp(), QString(62, QLatin1Char('a')));
    EXPECT_EQ(tray.trayIcon()->toolTip(), tray.TipHelp());

    // 61 bytes of ASCII and a 3-byte character: the character would end at byte 64.
    const QString split = QString(61, QLatin1Char('b')) + QStringLiteral("あいう");
    tray.setTipHelp(split);
    EXPECT_EQ(tray.TipHelp().toUtf8().size(), 61);
    EXPECT_EQ(tray.TipHelp(), QString(61, QLatin1Char('b')));

    // 20 Japanese characters are 60 bytes; the 21st ends at 63.
    QString japanese;
    for (int i = 0; i < 24; ++i)
        japanese += QStringLiteral("予");
    tray.setTipHelp(japanese);
    EXPECT_EQ(tray.TipHelp().toUtf8().size(), 60);
    EXPECT_EQ(tray.TipHelp().size(), 20);

    // The last run's outcome on the second line stays whole, however long.
    const QString second = QStringLiteral("前回: 複製失敗 3 件") + QString(80, QLatin1Char('x'));
    tray.setTipHelp(QStringLiteral("Renvo - 次回予定 ") + QString(60, QLatin1Char('9')) +
                    QLatin1Char('\n') + second);
    const QStringList lines = tray.TipHelp().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_LE(lines[0].toUtf8().size(), 62);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Renvo - 次回予定 ")));
    EXPECT_EQ(lines[1], second);
    EXPECT_EQ(tray.trayIcon()->toolTip(), tray.TipHelp());

    const QString shortTip = QStringLiteral("Renvo - 手動実行モードです");
    tray.setTipHelp(shortTip);
    EXPECT_EQ(tray.TipHelp(), shortTip);
    EXPECT_EQ(trayTipText(QString()), QString());
}

TEST(TrayIconVisible, NeedsAnIconAndAnEmptyIconHidesIt)
{
    TTrayIcon tray;
    tray.setVisible(true);
    EXPECT_FALSE(tray.Visible());
    EXPECT_FALSE(tray.trayIcon()->isVisible());

    tray.setIcon(appIcon());
    tray.setVisible(true);  // no tray here: the component still counts as shown
    EXPECT_TRUE(tray.Visible());

    tray.setIcon(QIcon());
    EXPECT_FALSE(tray.Visible());
    EXPECT_FALSE(tray.trayIcon()->isVisible());
}

TEST(TrayIconAnimation, WithoutFramesStartAndStopDoNothing)
{
    TTrayIcon tray;
    tray.setIcon(appIcon());
    tray.StartAnimation();
    EXPECT_FALSE(tray.isAnimating());
    tray.StopAnimation();
    EXPECT_FALSE(tray.isAnimating());
    EXPECT_EQ(tray.frameIndex(), 0);
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), tray.Icon().cacheKey());
}

TEST(TrayIconAnimation, FramesTurnOnTheTimerAndStopRestoresTheIcon)
{
    TTrayIcon tray;
    const QList<QIcon> frames = animationFrames();
    tray.setIcon(appIcon());
    tray.setAnimateIcons(frames);
    tray.setAnimateRate(100);
    tray.StartAnimation();
    ASSERT_TRUE(tray.isAnimating());
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), frames[0].cacheKey());

    // Frames are not replaced during a run.
    tray.setAnimateIcons({appIcon()});
    EXPECT_EQ(tray.AnimateIcons().size(), 4);

    // Past the last frame it starts again at the first.
    bool wrapped = false;
    int last = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const int now = tray.frameIndex();
            if (now < last)
                wrapped = true;
            last = now;
            return wrapped && now >= 1;
        },
        5000));
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), frames[tray.frameIndex()].cacheKey());

    tray.StartAnimation();  // already running: nothing
    EXPECT_TRUE(tray.isAnimating());

    tray.StopAnimation();
    EXPECT_FALSE(tray.isAnimating());
    EXPECT_EQ(tray.frameIndex(), 0);
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), tray.Icon().cacheKey());

    // A static icon set during a run waits for the stop.
    tray.StartAnimation();
    const QIcon other = cancelGlyph();
    tray.setIcon(other);
    EXPECT_NE(tray.trayIcon()->icon().cacheKey(), other.cacheKey());
    tray.StopAnimation();
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), other.cacheKey());
}

TEST(TrayIconClicks, OnlyADoubleClickIsAnEvent)
{
    Recorder r;
    // A double click arrives after the click that began it; the right and middle buttons
    // give nothing (the right one's menu is Qt's).
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        r.tray.handleActivation(reason);
    EXPECT_EQ(r.dblClicks, 1);
    r.tray.handleMessage(TrayMessage::LButtonDblClk);
    EXPECT_EQ(r.dblClicks, 2);
}

TEST(TrayIconClicks, StatusNotifierClickIsADoubleClick)
{
    Recorder r;
    r.tray.setTrayKindForTest(TrayKind::StatusNotifier);
    EXPECT_EQ(r.tray.trayKind(), TrayKind::StatusNotifier);
    r.tray.handleActivation(QSystemTrayIcon::Trigger);
    EXPECT_EQ(r.dblClicks, 1);
    r.tray.handleActivation(QSystemTrayIcon::Trigger);
    EXPECT_EQ(r.dblClicks, 2);
}

TEST(TrayIconMenus, RightMenuIsQtsContextMenuAndNotPoppedAgain)
{
    Recorder r;
    QMenu menu;
    menu.addAction(QStringLiteral("終了"));
    r.tray.setRBPopupMenu(&menu);
    EXPECT_EQ(r.tray.RBPopupMenu(), &menu);
    EXPECT_EQ(r.tray.trayIcon()->contextMenu(), &menu);
    r.tray.handleActivation(QSystemTrayIcon::Context);
    EXPECT_FALSE(menu.isVisible());  // the press itself brought it up on the tray
    EXPECT_EQ(r.dblClicks, 0);
}

TEST(TrayIconMenus, DestroyedMenuClearsTheReference)
{
    Recorder r;
    auto menu = std::make_unique<QMenu>();
    r.tray.setRBPopupMenu(menu.get());
    menu.reset();
    EXPECT_EQ(r.tray.RBPopupMenu(), nullptr);
    r.tray.handleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(r.dblClicks, 0);
}

// Wayland with no StatusNotifier host yet: nothing is made until one is there, then the icon
// carries everything set meanwhile.
TEST(TrayIconLate, MadeOnceAHostIsThereWithWhatWasSetMeanwhile)
{
    bool host = false;
    TTrayIcon tray(nullptr, [&host] { return host; });
    QMenu menu;
    tray.setRBPopupMenu(&menu);
    const QIcon icon = appIcon();
    tray.setIcon(icon);
    tray.setTipHelp(QStringLiteral("Renvo - 次回"));
    tray.setVisible(true);
    tray.showMessage(QStringLiteral("Renvo"), QStringLiteral("no tray, no message"));
    tray.Refresh();
    QTest::qWait(1500);
    EXPECT_EQ(tray.trayIcon(), nullptr);
    EXPECT_EQ(tray.trayKind(), TrayKind::None);
    EXPECT_EQ(tray.RBPopupMenu(), &menu);

    host = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.trayIcon() != nullptr; }, 5000));
    EXPECT_EQ(tray.trayKind(), TrayKind::StatusNotifier);
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), icon.cacheKey());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QStringLiteral("Renvo - 次回"));
    EXPECT_EQ(tray.trayIcon()->contextMenu(), &menu);
    EXPECT_TRUE(tray.trayIcon()->isVisible());
    // A host's click reaches the events.
    int clicks = 0;
    tray.OnDblClick = [&clicks] { ++clicks; };
    emit tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks, 1);
}

TEST(TrayIconHover, ToolTipEventIsAMoveBeforeTheTipShows)
{
    TTrayIcon tray;
    int moves = 0;
    tray.OnMouseMove = [&] {
        ++moves;
        tray.setTipHelp(QStringLiteral("Renvo - 次回予定 1 時間 5 分後"));
    };
    QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), QPoint(100, 100));
    QCoreApplication::sendEvent(tray.trayIcon(), &hover);
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(tray.trayIcon()->toolTip(), QStringLiteral("Renvo - 次回予定 1 時間 5 分後"));
}

}  // namespace
}  // namespace renvo
