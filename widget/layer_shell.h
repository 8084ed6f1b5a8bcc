// widget/layer_shell.h - the widget as a layer-shell surface on Wayland compositors that offer
// zwlr_layer_shell_v1 (sway and the other wlroots compositors, KWin): on the bottom layer,
// below every normal window and on every workspace, out of task lists, without keyboard focus.
#pragma once

#include <QMargins>

class QWindow;

namespace nolt::widget {

// Whether the compositor of WAYLAND_DISPLAY offers zwlr_layer_shell_v1; asks it over a
// connection of its own, so it can be called before Qt picks a platform. False without one.
bool compositorOffersLayerShell();

// Makes `window`, not yet shown, a bottom-layer surface in the output's bottom-right corner,
// `margin` from the edges. False, with the window untouched, when Qt is not on Wayland or the
// compositor has no layer shell.
bool placeOnBottomLayer(QWindow& window, QMargins margin);

}  // namespace nolt::widget
