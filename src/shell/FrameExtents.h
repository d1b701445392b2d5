#pragma once
// The frame a window manager draws around a top-level window, as the manager itself says.

#include <QMargins>

#include <optional>

class QWindow;

namespace renvo {

// On X11 the manager's _NET_FRAME_EXTENTS of `window`, in the window's own pixels; none while
// no manager has said (not yet framed, or no manager at all). Elsewhere what Qt knows.
std::optional<QMargins> managerFrame(QWindow* window);

}  // namespace renvo
