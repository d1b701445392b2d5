#include "shell/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>

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
constexpr int kHostWaitMs = 1000;

// Qt picks its kind of tray once for the process, the first time a QSystemTrayIcon is made or
// asked about: its D-Bus tray when a StatusNotifier host is registered then, else its XEmbed
// tray, which follows X trays as they come and go. A Wayland session has no X tray, so there
// nothing may ask Qt before a host is there.
bool xembedTrayPossible()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

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
    if (!xembedTrayPossible())
        return TrayKind::None;
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

TTrayIcon::TTrayIcon(QObject* parent) : QObject(parent)
{
    m_animTimer.setInterval(m_animateRate);
    connect(&m_animTimer, &QTimer::timeout, this, &TTrayIcon::animationTick);

    m_kind = currentTrayKind();
    if (m_kind == TrayKind::None && !xembedTrayPossible())
        waitForHost(statusNotifierHostRegistered);
    else
        makeTray();
}

TTrayIcon::TTrayIcon(QObject* parent, std::function<bool()> hostRegistered) : QObject(parent)
{
    m_animTimer.setInterval(m_animateRate);
    connect(&m_animTimer, &QTimer::timeout, this, &TTrayIcon::animationTick);
    waitForHost(std::move(hostRegistered));
}

// The icon is made once a host is there (a panel that starts after the program).
void TTrayIcon::waitForHost(std::function<bool()> hostRegistered)
{
    m_kind = TrayKind::None;
    auto* wait = new QTimer(this);
    wait->setInterval(kHostWaitMs);
    connect(wait, &QTimer::timeout, this, [this, wait, hostRegistered = std::move(hostRegistered)] {
        if (!hostRegistered())
            return;
        wait->stop();
        wait->deleteLater();
        m_kind = TrayKind::StatusNotifier;
        makeTray();
    });
    wait->start();
}

void TTrayIcon::makeTray()
{
    // Qt chose its kind of tray for the process when the first QSystemTrayIcon was made, by
    // the same test, and keeps it: so do the events.
    m_tray = new QSystemTrayIcon(this);
    m_tray->setToolTip(m_tip);
    m_tray->setContextMenu(m_menu);
    m_tray->installEventFilter(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, &TTrayIcon::handleActivation);
    if (m_animating && !m_frames.isEmpty())
        m_tray->setIcon(m_frames.at(m_frameIndex));
    else if (!m_icon.isNull())
        m_tray->setIcon(m_icon);
    if (m_visible)
        m_tray->show();
    if (m_kind == TrayKind::StatusNotifier) {
        // Qt registers the icon with the watcher of the moment only: a watcher that restarts
        // (a panel that crashed and came back) would never hear of it again.
        auto* watcher = new QDBusServiceWatcher(QLatin1String(kWatcherService), QDBusConnection::sessionBus(),
                                                QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &TTrayIcon::Refresh);
    }
}

TTrayIcon::~TTrayIcon()
{
    if (!m_tray)
        return;
    m_tray->removeEventFilter(this);
    m_tray->hide();
}

void TTrayIcon::setRBPopupMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_tray)
        m_tray->setContextMenu(menu);
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

void TTrayIcon::setIcon(const QIcon& icon)
{
    m_icon = icon;
    if (icon.isNull()) {
        setVisible(false);
        return;
    }
    if (!m_animating && m_tray)
        m_tray->setIcon(icon);
}

void TTrayIcon::setTipHelp(const QString& tip)
{
    const QString text = trayTipText(tip);
    if (text == m_tip)
        return;
    m_tip = text;
    if (m_tray)
        m_tray->setToolTip(text);
}

void TTrayIcon::setVisible(bool on)
{
    if (on && m_icon.isNull())
        on = false;
    m_visible = on;
    if (!m_tray)
        return;
    if (on) {
        if (!m_animating)
            m_tray->setIcon(m_icon);
        // Qt follows an XEmbed tray from here: one that comes, goes or comes back gets the
        // icon anew. A restarted StatusNotifier watcher is told by Refresh.
        m_tray->show();
    } else {
        m_tray->hide();
    }
}

void TTrayIcon::Refresh()
{
    if (!m_visible || !m_tray)
        return;
    m_tray->hide();
    m_tray->show();
}

void TTrayIcon::handleMessage(TrayMessage m)
{
    const std::function<void()>& event = m == TrayMessage::MouseMove ? OnMouseMove : OnDblClick;
    if (event)
        event();
}

void TTrayIcon::handleActivation(QSystemTrayIcon::ActivationReason reason)
{
    // StatusNotifier hosts send one activation per click and never a double click, so a click
    // there is what a double click is elsewhere. The right button's menu is Qt's own.
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && m_kind == TrayKind::StatusNotifier))
        handleMessage(TrayMessage::LButtonDblClk);
}

// The XEmbed tray hands the hover's tooltip event to the QSystemTrayIcon before it shows the
// tip; the move handler runs first so that it can bring the tip up to date.
bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tray && event->type() == QEvent::ToolTip)
        handleMessage(TrayMessage::MouseMove);
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::StartAnimation()
{
    if (m_animating || m_frames.isEmpty())
        return;
    m_animating = true;
    if (m_frameIndex >= m_frames.size())
        m_frameIndex = 0;
    showFrame();
    m_animTimer.start(m_animateRate);
}

void TTrayIcon::StopAnimation()
{
    if (!m_animating)
        return;
    m_animating = false;
    m_animTimer.stop();
    m_frameIndex = 0;
    if (!m_icon.isNull() && m_tray)
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
    if (m_tray)
        m_tray->setIcon(m_frames.at(m_frameIndex));
}

void TTrayIcon::showMessage(const QString& title, const QString& text)
{
    if (m_tray)
        m_tray->showMessage(title, text, QSystemTrayIcon::Warning);
}

void TTrayIcon::setTrayKindForTest(TrayKind kind)
{
    m_kind = kind;
}

}  // namespace renvo
