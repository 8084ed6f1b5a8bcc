#include "widget/layer_shell.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <QWindow>
#include <QtWaylandClient/QWaylandClientExtensionTemplate>
#include <cstdlib>
#include <cstring>

#include "qwayland-wlr-layer-shell-unstable-v1.h"

// The protocol's get_popup names xdg_popup, which the widget never makes: the table entry only
// has to exist. Hidden, so Qt's own xdg-shell plugin keeps its definition.
extern "C" __attribute__((visibility("hidden")))
const wl_interface xdg_popup_interface = {"xdg_popup", 1, 0, nullptr, 0, nullptr};

namespace nolt::widget {
namespace {

class LayerShell : public QWaylandClientExtensionTemplate<LayerShell>,
                   public QtWayland::zwlr_layer_shell_v1 {
 public:
  LayerShell() : QWaylandClientExtensionTemplate(4) { initialize(); }
};

// Acknowledges each configure: the size is the widget's own, so nothing else changes.
class LayerSurface : public QObject, public QtWayland::zwlr_layer_surface_v1 {
 public:
  LayerSurface(QWindow* window, ::zwlr_layer_surface_v1* object)
      : QObject(window), QtWayland::zwlr_layer_surface_v1(object) {}
  ~LayerSurface() override { destroy(); }
  bool configured() const { return configured_; }

 protected:
  void zwlr_layer_surface_v1_configure(uint32_t serial, uint32_t, uint32_t) override {
    ack_configure(serial);
    configured_ = true;
  }
  // The compositor took the surface away (its output went): a widget with nowhere to be ends.
  void zwlr_layer_surface_v1_closed() override { QGuiApplication::quit(); }

 private:
  bool configured_ = false;
};

void noteGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) *static_cast<bool*>(data) = true;
}
void ignoreRemoval(void*, wl_registry*, uint32_t) {}

}  // namespace

bool compositorOffersLayerShell() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return false;
  bool offered = false;
  wl_registry* registry = wl_display_get_registry(display);
  static const wl_registry_listener listener = {noteGlobal, ignoreRemoval};
  wl_registry_add_listener(registry, &listener, &offered);
  bool answered = wl_display_roundtrip(display) >= 0;
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return answered && offered;
}

bool placeOnBottomLayer(QWindow& window, QMargins margin) {
  if (QGuiApplication::platformName() != QLatin1String("wayland")) return false;
  static LayerShell* shell = new LayerShell;  // for the process, as Qt's own globals are
  if (!shell->isActive()) return false;
  // Qt gives a window with this hint no shell role of its own, so the surface can take the
  // layer-surface role; its other windows (the configuration dialog) stay xdg toplevels.
  qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
  window.setFlags(window.flags() | Qt::BypassWindowManagerHint);
  window.create();
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", &window));
  auto* display = static_cast<wl_display*>(
      native->nativeResourceForIntegration(QByteArrayLiteral("wl_display")));
  if (!surface || !display) {
    window.setFlags(window.flags() & ~Qt::BypassWindowManagerHint);
    return false;
  }
  auto* layer = new LayerSurface(
      &window,
      shell->get_layer_surface(surface, nullptr, QtWayland::zwlr_layer_shell_v1::layer_bottom,
                               QStringLiteral("nolt-widget")));
  layer->set_size(static_cast<uint32_t>(window.width()), static_cast<uint32_t>(window.height()));
  layer->set_anchor(QtWayland::zwlr_layer_surface_v1::anchor_bottom |
                    QtWayland::zwlr_layer_surface_v1::anchor_right);
  layer->set_margin(margin.top(), margin.right(), margin.bottom(), margin.left());
  layer->set_keyboard_interactivity(QtWayland::zwlr_layer_surface_v1::keyboard_interactivity_none);
  // The first commit carries no buffer; the compositor answers it with a configure, which must
  // be acknowledged before Qt attaches the first frame.
  wl_surface_commit(surface);
  while (!layer->configured())
    if (wl_display_roundtrip(display) < 0) return false;
  return true;
}

}  // namespace nolt::widget
