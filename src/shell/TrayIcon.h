#pragma once
// The resident program's tray icon: a static or animated icon with a tooltip, popup menus on
// the left and right button, and click events that tell a single click from a double click.
// GUI thread only. The click logic works on tray messages (button down, up, double click,
// move) so it runs the same with or without a tray; Qt's activations are turned into them.

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

enum class TrayMessage {
    MouseMove,
    LButtonDown,
    LButtonUp,
    LButtonDblClk,
    RButtonDown,
    RButtonUp,
    MButtonDown,
    MButtonUp
};

class TTrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    QList<QIcon> AnimateIcons() const { return m_frames; }
    void setAnimateIcons(const QList<QIcon>& frames);  // ignored while animating

    int AnimateRate() const { return m_animateRate; }
    void setAnimateRate(int ms);  // at least 100 ms

    bool AutoPopup() const { return m_autoPopup; }
    void setAutoPopup(bool on);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on);

    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon& icon);  // a null icon hides the tray icon

    QMenu* LBPopupMenu() const { return m_lbMenu; }
    void setLBPopupMenu(QMenu* menu);
    QMenu* RBPopupMenu() const { return m_rbMenu; }
    void setRBPopupMenu(QMenu* menu);

    QString TipHelp() const { return m_tip; }
    void setTipHelp(const QString& tip);

    bool Visible() const { return m_visible; }
    void setVisible(bool on);

    // Events; an empty function counts as not assigned, which changes the click logic.
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(Qt::MouseButton)> OnMouseDown;
    std::function<void()> OnMouseMove;
    std::function<void(Qt::MouseButton)> OnMouseUp;

    // Mode 0 turns a frame every AnimateRate ms; mode 1 shows one frame per start.
    void StartAnimation(int mode);
    void StopAnimation();
    bool isAnimating() const { return m_animating; }
    int frameIndex() const { return m_frameIndex; }

    // Shows the icon anew when the tray lost it (a restarted panel); harmless without a tray.
    void Refresh();

    // A desktop notification with the warning icon.
    void showMessage(const QString& title, const QString& text);

    // The message table; public so that tests drive it.
    void handleMessage(TrayMessage m);
    // Qt's activation turned into the button messages of the current tray kind.
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

    // Re-embeds the icon when a tray has appeared since the last look. Qt does so by itself on
    // X11 and over D-Bus; this is for a caller that learns of a new tray some other way.
    void checkTrayAvailability();

    TrayKind trayKind() const { return m_kind; }
    bool isClickPending() const { return m_clickPending; }
    bool isClickTimerActive() const { return m_clickTimer.isActive(); }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // Tests fix the tray kind and the availability probe (the offscreen platform has no tray).
    void setTrayKindForTest(TrayKind kind);
    void setTrayProbeForTest(std::function<bool()> probe);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void popup(QMenu* menu);
    void singleClickTimeout();
    void animationTick();
    void showFrame();
    void syncContextMenu();
    bool trayAvailable() const;

    QSystemTrayIcon* m_tray;  // child of this
    QTimer m_clickTimer;
    QTimer m_animTimer;

    QList<QIcon> m_frames;
    int m_animateRate = 500;
    bool m_autoPopup = true;
    bool m_enabled = true;
    QIcon m_icon;
    QPointer<QMenu> m_lbMenu;
    QPointer<QMenu> m_rbMenu;
    QString m_tip = QStringLiteral("TipHelp");
    bool m_visible = false;

    bool m_clickPending = false;
    bool m_animating = false;
    int m_animMode = 0;
    int m_frameIndex = 0;

    TrayKind m_kind = TrayKind::None;
    bool m_trayWasAvailable = false;
    std::function<bool()> m_probe;
};

}  // namespace renvo
