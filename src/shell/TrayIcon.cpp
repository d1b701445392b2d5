#include "shell/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEvent>

#include <algorithm>
#include <iterator>

// The icons live in a static library: nothing would pull their resource object in without
// this reference, so the first icon asked for registers them.
static void initProgramIcons()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace renvo {

namespace {

constexpr int kMinAnimateRate = 100;
constexpr int kTipFirstLineBytes = 62;
constexpr int kDBusTimeoutMs = 500;
const char* const kWatcherService = "org.kde.StatusNotifierWatcher";

QIcon programIcon(const char* name)
{
    initProgramIcons();
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name));
}

bool statusNotifierHostRegistered()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QString service = QLatin1String(kWatcherService);
    if (!bus.interface()->isServiceRegistered(service))
        return false;
    // Properties.Get rather than a QDBusInterface: no introspection round trip.
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << service << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kDBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

}  // namespace

QIcon appIcon()
{
    return programIcon("app.svg");
}

QList<QIcon> animationFrames()
{
    return {programIcon("anim0.svg"), programIcon("anim1.svg"), programIcon("anim2.svg"),
            programIcon("anim3.svg")};
}

QIcon menuGlyph(int index)
{
    static const char* const names[] = {"glyph0.svg", "glyph1.svg", "glyph2.svg",
                                        "glyph3.svg", "glyph4.svg", "glyph5.svg"};
    if (index < 0 || index >= int(std::size(names)))
        return QIcon();
    return programIcon(names[index]);
}

QIcon cancelGlyph()
{
    return programIcon("cancel.svg");
}

TrayKind currentTrayKind()
{
    if (statusNotifierHostRegistered())
        return TrayKind::StatusNotifier;
    return QSystemTrayIcon::isSystemTrayAvailable() ? TrayKind::XEmbed : TrayKind::None;
}

QString trayTipText(const QString& tip)
{
    const qsizetype newline = tip.indexOf(QLatin1Char('\n'));
    const QString first = newline < 0 ? tip : tip.left(newline);
    QByteArray bytes = first.toUtf8();
    if (bytes.size() <= kTipFirstLineBytes)
        return tip;
    // Back off while the first byte left out continues the character before it.
    qsizetype cut = kTipFirstLineBytes;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    bytes.truncate(cut);
    QString result = QString::fromUtf8(bytes);
    if (newline >= 0)
        result += tip.mid(newline);
    return result;
}

TTrayIcon::TTrayIcon(QObject* parent)
    : QObject(parent), m_tray(new QSystemTrayIcon(this))
{
    m_tray->setToolTip(m_tip);
    m_tray->installEventFilter(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, &TTrayIcon::handleActivation);

    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, &TTrayIcon::singleClickTimeout);
    m_animTimer.setInterval(m_animateRate);
    connect(&m_animTimer, &QTimer::timeout, this, &TTrayIcon::animationTick);

    // Qt chose its kind of tray for the process when the QSystemTrayIcon was made, by the same
    // test, and keeps it: so does the click logic.
    m_kind = currentTrayKind();
}

TTrayIcon::~TTrayIcon()
{
    m_tray->removeEventFilter(this);
    m_tray->hide();
}

void TTrayIcon::setAnimateIcons(const QList<QIcon>& frames)
{
    if (m_animating)
        return;
    m_frames = frames;
    if (m_frameIndex >= m_frames.size())
        m_frameIndex = 0;
}

void TTrayIcon::setAnimateRate(int ms)
{
    m_animateRate = std::max(ms, kMinAnimateRate);
    m_animTimer.setInterval(m_animateRate);
}

void TTrayIcon::setAutoPopup(bool on)
{
    m_autoPopup = on;
    syncContextMenu();
}

void TTrayIcon::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        m_clickPending = false;
    syncContextMenu();
}

void TTrayIcon::setIcon(const QIcon& icon)
{
    m_icon = icon;
    if (icon.isNull()) {
        setVisible(false);
        return;
    }
    if (!m_animating)
        m_tray->setIcon(icon);
}

void TTrayIcon::setLBPopupMenu(QMenu* menu)
{
    m_lbMenu = menu;
}

void TTrayIcon::setRBPopupMenu(QMenu* menu)
{
    m_rbMenu = menu;
    syncContextMenu();
}

void TTrayIcon::setTipHelp(const QString& tip)
{
    const QString text = trayTipText(tip);
    if (text == m_tip)
        return;
    m_tip = text;
    m_tray->setToolTip(text);
}

void TTrayIcon::setVisible(bool on)
{
    if (on && m_icon.isNull())
        on = false;
    m_visible = on;
    if (on) {
        if (!m_animating)
            m_tray->setIcon(m_icon);
        m_trayWasAvailable = trayAvailable();
        // Qt follows the tray from here: an XEmbed tray that comes, goes or comes back gets
        // the icon anew, and a restarted StatusNotifier watcher learns of it again.
        m_tray->show();
    } else {
        m_tray->hide();
    }
}

// Qt shows the right menu itself (XEmbed pops it up on the press before it reports Context;
// a StatusNotifier host gets it over D-Bus), so it is handed to Qt only when a right press
// would open it: enabled, AutoPopup on.
void TTrayIcon::syncContextMenu()
{
    QMenu* wanted = (m_enabled && m_autoPopup) ? m_rbMenu.data() : nullptr;
    if (m_tray->contextMenu() != wanted)
        m_tray->setContextMenu(wanted);
}

void TTrayIcon::popup(QMenu* menu)
{
    menu->popup(QCursor::pos());
}

void TTrayIcon::handleMessage(TrayMessage m)
{
    if (!m_enabled)
        return;
    switch (m) {
    case TrayMessage::MouseMove:
        if (OnMouseMove)
            OnMouseMove();
        break;
    case TrayMessage::LButtonDown:
        if (m_lbMenu && m_autoPopup)
            popup(m_lbMenu);
        else if (OnMouseDown)
            OnMouseDown(Qt::LeftButton);
        break;
    case TrayMessage::LButtonUp:
        if (OnMouseUp) {
            OnMouseUp(Qt::LeftButton);
        } else if (!OnClick) {
            m_clickPending = false;
        } else if (m_clickPending) {
            m_clickPending = false;  // the release that ends a double click
        } else {
            m_clickPending = true;
            m_clickTimer.start(QApplication::doubleClickInterval() + 50);
        }
        break;
    case TrayMessage::LButtonDblClk:
        m_clickPending = true;
        if (OnDblClick)
            OnDblClick();
        break;
    case TrayMessage::RButtonDown:
        if (m_rbMenu && m_autoPopup) {
            // Already up when the menu is Qt's context menu; popping it again would flash it.
            if (m_tray->contextMenu() != m_rbMenu)
                popup(m_rbMenu);
        } else if (OnMouseDown) {
            OnMouseDown(Qt::RightButton);
        }
        break;
    case TrayMessage::RButtonUp:
        if (OnMouseUp)
            OnMouseUp(Qt::RightButton);
        break;
    case TrayMessage::MButtonDown:
        if (OnMouseDown)
            OnMouseDown(Qt::MiddleButton);
        break;
    case TrayMessage::MButtonUp:
        if (OnMouseUp)
            OnMouseUp(Qt::MiddleButton);
        break;
    }
}

void TTrayIcon::handleActivation(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        // StatusNotifier hosts send one activation per click and never a double click, so a
        // click there is what a double click is elsewhere.
        if (m_kind == TrayKind::StatusNotifier) {
            handleMessage(TrayMessage::LButtonDblClk);
        } else {
            handleMessage(TrayMessage::LButtonDown);
        }
        handleMessage(TrayMessage::LButtonUp);
        break;
    case QSystemTrayIcon::DoubleClick:
        handleMessage(TrayMessage::LButtonDblClk);
        handleMessage(TrayMessage::LButtonUp);
        break;
    case QSystemTrayIcon::Context:
        handleMessage(TrayMessage::RButtonDown);
        handleMessage(TrayMessage::RButtonUp);
        break;
    case QSystemTrayIcon::MiddleClick:
        handleMessage(TrayMessage::MButtonDown);
        handleMessage(TrayMessage::MButtonUp);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TTrayIcon::singleClickTimeout()
{
    if (OnClick && m_clickPending)
        OnClick();
    m_clickPending = false;
}

// The XEmbed tray hands the hover's tooltip event to the QSystemTrayIcon before it shows the
// tip; the move handler runs first so that it can bring the tip up to date.
bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tray && event->type() == QEvent::ToolTip)
        handleMessage(TrayMessage::MouseMove);
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::StartAnimation(int mode)
{
    if (m_animating || m_frames.isEmpty())
        return;
    m_animating = true;
    m_animMode = mode;
    if (m_frameIndex >= m_frames.size())
        m_frameIndex = 0;
    showFrame();
    if (m_animMode == 0) {
        m_animTimer.start(m_animateRate);
    } else {
        ++m_frameIndex;
        if (m_frameIndex >= m_frames.size())
            m_frameIndex = 0;
    }
}

void TTrayIcon::StopAnimation()
{
    if (!m_animating)
        return;
    m_animating = false;
    m_animTimer.stop();
    m_frameIndex = 0;
    if (!m_icon.isNull())
        m_tray->setIcon(m_icon);
}

void TTrayIcon::animationTick()
{
    if (!m_animating || m_frames.isEmpty())
        return;
    ++m_frameIndex;
    if (m_frameIndex >= m_frames.size())
        m_frameIndex = 0;
    showFrame();
}

void TTrayIcon::showFrame()
{
    m_tray->setIcon(m_frames.at(m_frameIndex));
}

bool TTrayIcon::trayAvailable() const
{
    return m_probe ? m_probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::checkTrayAvailability()
{
    const bool available = trayAvailable();
    // A tray that came (back) does not know the icon: hiding and showing embeds it anew.
    if (available && !m_trayWasAvailable && m_visible) {
        m_tray->hide();
        m_tray->show();
    }
    m_trayWasAvailable = available;
}

void TTrayIcon::Refresh()
{
    if (!m_visible)
        return;
    m_trayWasAvailable = trayAvailable();
    if (!m_trayWasAvailable)
        return;  // Qt shows it once a tray appears
    m_tray->hide();
    m_tray->show();
}

void TTrayIcon::showMessage(const QString& title, const QString& text)
{
    m_tray->showMessage(title, text, QSystemTrayIcon::Warning);
}

void TTrayIcon::setTrayKindForTest(TrayKind kind)
{
    m_kind = kind;
}

void TTrayIcon::setTrayProbeForTest(std::function<bool()> probe)
{
    m_probe = std::move(probe);
}

}  // namespace renvo
