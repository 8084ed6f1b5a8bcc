#include "platform/notify.h"

#include <systemd/sd-bus.h>

#include <string>

#include "platform/directories.h"

namespace nolt::platform {

namespace {

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;

std::optional<std::string> sessionBusAddress(Environment& env) {
  if (auto address = env.variable("DBUS_SESSION_BUS_ADDRESS"); address && !address->empty())
    return address;
  if (auto runtime = runtimeDirectory(env)) return "unix:path=" + *runtime + "/bus";
  return std::nullopt;
}

Bus connect(const std::string& address) {
  sd_bus* raw = nullptr;
  if (sd_bus_new(&raw) < 0) return nullptr;
  Bus bus(raw);
  if (sd_bus_set_address(raw, address.c_str()) < 0 || sd_bus_set_bus_client(raw, 1) < 0 ||
      sd_bus_start(raw) < 0)
    return nullptr;
  // Waiting for our unique name means the bus has accepted us, so a signal sent now is
  // routed before we hang up.
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(raw, &unique) < 0) return nullptr;
  return bus;
}

class SessionBusNotificationCenter final : public NotificationCenter {
 public:
  explicit SessionBusNotificationCenter(Environment& env) : env_(env) {}

  void post(std::string_view name) override {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return;
    std::string interface(name.substr(0, dot));
    std::string member(name.substr(dot + 1));
    std::string path = "/" + interface;
    for (char& c : path)
      if (c == '.') c = '/';

    std::optional<std::string> address = sessionBusAddress(env_);
    if (!address) return;
    Bus bus = connect(*address);
    if (!bus) return;
    if (sd_bus_emit_signal(bus.get(), path.c_str(), interface.c_str(), member.c_str(), nullptr) < 0)
      return;
    sd_bus_flush(bus.get());
  }

 private:
  Environment& env_;
};

}  // namespace

std::unique_ptr<NotificationCenter> makeSessionBusNotificationCenter(Environment& env) {
  return std::make_unique<SessionBusNotificationCenter>(env);
}

}  // namespace nolt::platform
