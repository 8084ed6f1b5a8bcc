// widget/desktop_hints.h - what makes a window a desktop widget under an X11 window manager
// that follows EWMH, beyond Qt's own flags: no task-bar or pager entry, and on every workspace.
#pragma once

class QWindow;

namespace nolt::widget {

// Asks the window manager, through the window's properties, to keep `window` out of task bars
// and pagers and to show it on every workspace (_NET_WM_STATE_SKIP_TASKBAR, _SKIP_PAGER,
// _STICKY and _NET_WM_DESKTOP 0xFFFFFFFF). Call it before the window is first shown: Qt adds
// its own states (below, for Qt::WindowStaysOnBottomHint) to these when it maps the window.
// Does nothing, and says so with false, on any platform but X11 (xcb).
bool addDesktopWidgetHints(QWindow& window);

}  // namespace nolt::widget
