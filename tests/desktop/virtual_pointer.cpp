// virtual_pointer: a mouse for a headless wlroots compositor, whose seat has none. It adds one
// virtual pointer to the seat and keeps it while it runs, so that windows bind it once; each
// line on standard input, "click X Y", moves it to pixel X,Y of the output (EXTENT_X×EXTENT_Y,
// the program's two arguments) and clicks the left button. It prints "ready" once the pointer
// is there and "done" after each click has reached the compositor.
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "wayland-wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

struct Globals {
  wl_seat* seat = nullptr;
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, "wl_seat") == 0 && !globals->seat)
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  if (std::strcmp(interface, "zwlr_virtual_pointer_manager_v1") == 0)
    globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void globalRemoved(void*, wl_registry*, uint32_t) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: virtual_pointer EXTENT_X EXTENT_Y\n";
    return 2;
  }
  auto extentX = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  auto extentY = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return 1;
  Globals globals;
  static const wl_registry_listener listener = {global, globalRemoved};
  wl_registry_add_listener(wl_display_get_registry(display), &listener, &globals);
  wl_display_roundtrip(display);
  if (!globals.manager) {
    std::cerr << "virtual_pointer: the compositor has no virtual pointers\n";
    return 1;
  }
  zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
  if (wl_display_roundtrip(display) < 0) return 1;
  std::cout << "ready" << std::endl;
  uint32_t time = 0;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command;
    uint32_t x = 0, y = 0;
    if (!(words >> command >> x >> y) || command != "click") continue;
    zwlr_virtual_pointer_v1_motion_absolute(pointer, ++time, x, y, extentX, extentY);
    zwlr_virtual_pointer_v1_frame(pointer);
    zwlr_virtual_pointer_v1_button(pointer, ++time, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer);
    zwlr_virtual_pointer_v1_button(pointer, ++time, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer);
    if (wl_display_roundtrip(display) < 0) return 1;
    std::cout << "done" << std::endl;
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  wl_display_disconnect(display);
  return 0;
}
