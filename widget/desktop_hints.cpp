#include "widget/desktop_hints.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <QWindow>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if __has_include(<xcb/xcb.h>) && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#define NOLT_HAS_XCB 1
#endif

namespace nolt::widget {

#ifdef NOLT_HAS_XCB
namespace {

// The few libxcb calls the hints need, taken from the copy Qt's xcb platform has loaded, so
// the widget links no X library of its own and needs none on other platforms.
struct XCBCalls {
  decltype(&xcb_intern_atom) internAtom = nullptr;
  decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
  decltype(&xcb_change_property) changeProperty = nullptr;
  decltype(&xcb_flush) flush = nullptr;

  explicit XCBCalls(void* library) {
    internAtom = reinterpret_cast<decltype(internAtom)>(dlsym(library, "xcb_intern_atom"));
    internAtomReply =
        reinterpret_cast<decltype(internAtomReply)>(dlsym(library, "xcb_intern_atom_reply"));
    changeProperty =
        reinterpret_cast<decltype(changeProperty)>(dlsym(library, "xcb_change_property"));
    flush = reinterpret_cast<decltype(flush)>(dlsym(library, "xcb_flush"));
  }
  bool complete() const { return internAtom && internAtomReply && changeProperty && flush; }
};

// The atoms of `names`, in their order; none of them zero when true is returned.
template <std::size_t N>
bool internAtoms(const XCBCalls& xcb, xcb_connection_t* connection,
                 const std::array<const char*, N>& names, std::array<xcb_atom_t, N>& atoms) {
  std::array<xcb_intern_atom_cookie_t, N> cookies;
  for (std::size_t i = 0; i < N; ++i)
    cookies[i] =
        xcb.internAtom(connection, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
  bool all = true;
  for (std::size_t i = 0; i < N; ++i) {
    xcb_intern_atom_reply_t* reply = xcb.internAtomReply(connection, cookies[i], nullptr);
    atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    all = all && atoms[i] != XCB_ATOM_NONE;
    std::free(reply);
  }
  return all;
}

}  // namespace
#endif

bool addDesktopWidgetHints(QWindow& window) {
#ifdef NOLT_HAS_XCB
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return false;
  void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
  if (!library) return false;
  XCBCalls xcb(library);
  bool added = false;
  std::array<xcb_atom_t, 5> atoms{};
  if (xcb.complete() &&
      internAtoms(xcb, connection,
                  std::array<const char*, 5>{"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR",
                                             "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_STICKY",
                                             "_NET_WM_DESKTOP"},
                  atoms)) {
    // winId() makes the X window without showing it.
    auto id = static_cast<xcb_window_t>(window.winId());
    xcb.changeProperty(connection, XCB_PROP_MODE_APPEND, id, atoms[0], XCB_ATOM_ATOM, 32, 3,
                       &atoms[1]);
    const std::uint32_t everyWorkspace = 0xFFFFFFFF;
    xcb.changeProperty(connection, XCB_PROP_MODE_REPLACE, id, atoms[4], XCB_ATOM_CARDINAL, 32, 1,
                       &everyWorkspace);
    xcb.flush(connection);
    added = true;
  }
  dlclose(library);
  return added;
#else
  (void)window;
  return false;
#endif
}

}  // namespace nolt::widget
