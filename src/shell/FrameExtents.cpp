#include "shell/FrameExtents.h"

#include <QGuiApplication>
#include <QWindow>

#include <cstdlib>
#include <memory>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

namespace renvo {

std::optional<QMargins> managerFrame(QWindow* window)
{
#if QT_CONFIG(xcb)
    // Qt's own frame margins are cached and may be taken before the manager framed the window.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 && QGuiApplication::platformName() == QLatin1String("xcb")
                                       ? x11->connection()
                                       : nullptr;
    if (connection != nullptr) {
        static const char kName[] = "_NET_FRAME_EXTENTS";
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr),
            &std::free);
        if (!atom)
            return std::nullopt;
        const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 0, static_cast<xcb_window_t>(window->winId()),
                                                    atom->atom, XCB_ATOM_CARDINAL, 0, 4),
                                   nullptr),
            &std::free);
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16)
            return std::nullopt;
        const auto* v = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
        const qreal ratio = window->devicePixelRatio();
        auto scaled = [ratio](quint32 n) { return qRound(n / ratio); };
        // left, right, top, bottom
        return QMargins(scaled(v[0]), scaled(v[2]), scaled(v[1]), scaled(v[3]));
    }
#endif
    return window->frameMargins();
}

}  // namespace renvo
