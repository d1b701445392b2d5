#pragma once
// The resident program's tray icon: a static or animated icon with a tooltip, a menu on the
// right button, and double-click and hover events. GUI thread only. The events work on tray
// messages so they run the same with or without a tray; Qt's activations are turned into them.

#include <functional>

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

namespace renvo {

// The program's icons, drawn as SVG in the resources under ":/icons/".
QIcon appIcon();
QList<QIcon> animationFrames();  // four frames of the turning arrow
QIcon menuGlyph(int index);      // 0 standard run, 1 preferences, 2 help, 3 complete run,
                                 // 4 log file, 5 help contents; null icon outside 0..5
QIcon cancelGlyph();

enum class TrayKind { None, XEmbed, StatusNotifier };

// StatusNotifier when the session bus has a StatusNotifierWatcher with a registered host (the
// test Qt makes before it picks its D-Bus tray), XEmbed when an X tray exists, else None.
TrayKind currentTrayKind();

// The tooltip as the tray shows it: the first line cut to at most 62 bytes of UTF-8 on a
// character boundary, the lines after it kept.
QString trayTipText(const QString& tip);

enum class TrayMessage { MouseMove, LButtonDblClk };

class TTrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TTrayIcon(QObject* parent = nullptr);
    // Where Qt could only fall back to an X tray that cannot exist (Wayland), the icon is made
    // once `hostRegistered` says a StatusNotifier host is there; tests give the probe.
    TTrayIcon(QObject* parent, std::function<bool()> hostRegistered);
    ~TTrayIcon() override;

    QList<QIcon> AnimateIcons() const { return m_frames; }
    void setAnimateIcons(const QList<QIcon>& frames);  // ignored while animating

    int AnimateRate() const { return m_animateRate; }
    void setAnimateRate(int ms);  // at least 100 ms

    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon& icon);  // a null icon hides the tray icon

    // Qt's context menu: the tray pops it up on the right button by itself.
    QMenu* RBPopupMenu() const { return m_menu; }
    void setRBPopupMenu(QMenu* menu);

    QString TipHelp() const { return m_tip; }
    void setTipHelp(const QString& tip);

    bool Visible() const { return m_visible; }
    void setVisible(bool on);
    // Shows the icon anew: a restarted StatusNotifier watcher learns of it (the tray component
    // calls it when the watcher's name appears on the bus again).
    void Refresh();

    // Events; an empty function counts as not assigned.
    std::function<void()> OnDblClick;
    std::function<void()> OnMouseMove;

    // Turns a frame every AnimateRate ms.
    void StartAnimation();
    void StopAnimation();
    bool isAnimating() const { return m_animating; }
    int frameIndex() const { return m_frameIndex; }

    // A desktop notification with the warning icon.
    void showMessage(const QString& title, const QString& text);

    // The message table; public so that tests drive it.
    void handleMessage(TrayMessage m);
    // Qt's activation turned into the messages of the current tray kind.
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

    TrayKind trayKind() const { return m_kind; }
    // None on Wayland until a StatusNotifier host is there.
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // Tests fix the tray kind (the offscreen platform has no tray).
    void setTrayKindForTest(TrayKind kind);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void animationTick();
    void showFrame();

    void makeTray();
    void waitForHost(std::function<bool()> hostRegistered);
    QSystemTrayIcon* m_tray = nullptr;  // child of this
    QPointer<QMenu> m_menu;
    QTimer m_animTimer;

    QList<QIcon> m_frames;
    int m_animateRate = 500;
    QIcon m_icon;
    QString m_tip = QStringLiteral("TipHelp");
    bool m_visible = false;

    bool m_animating = false;
    int m_frameIndex = 0;

    TrayKind m_kind = TrayKind::None;
};

}  // namespace renvo
