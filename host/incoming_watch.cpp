#include "host/incoming_watch.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <string>

#include "platform/directories.h"
#include "platform/identifiers.h"

namespace nolt::host {

namespace {

class BusWatch final : public IncomingWatch {
 public:
  ~BusWatch() override {
    sd_bus_slot_unref(slot_);
    sd_bus_flush_close_unref(bus_);
  }

  bool connect(const std::string& address) {
    if (sd_bus_new(&bus_) < 0) return false;
    if (sd_bus_set_address(bus_, address.c_str()) < 0 || sd_bus_set_bus_client(bus_, 1) < 0 ||
        sd_bus_start(bus_) < 0)
      return false;
    std::string name(platform::kIncomingNotificationName);
    std::string interface = name.substr(0, name.rfind('.'));
    std::string member = name.substr(name.rfind('.') + 1);
    std::string path = "/" + interface;
    for (char& c : path)
      if (c == '.') c = '/';
    std::string match =
        "type='signal',interface='" + interface + "',member='" + member + "',path='" + path + "'";
    return sd_bus_add_match(bus_, &slot_, match.c_str(), &BusWatch::onSignal, this) >= 0;
  }

  int fd() override { return sd_bus_get_fd(bus_); }
  short events() override {
    int events = sd_bus_get_events(bus_);
    return static_cast<short>(events < 0 ? POLLIN : events);
  }

  bool takeSignal() override {
    for (;;) {
      int r = sd_bus_process(bus_, nullptr);
      if (r < 0) {
        broken_ = true;
        break;
      }
      if (r == 0) break;
    }
    bool heard = heard_;
    heard_ = false;
    return heard;
  }

  bool broken() override { return broken_; }

 private:
  static int onSignal(sd_bus_message*, void* self, sd_bus_error*) {
    static_cast<BusWatch*>(self)->heard_ = true;
    return 0;
  }

  sd_bus* bus_ = nullptr;
  sd_bus_slot* slot_ = nullptr;
  bool heard_ = false;
  bool broken_ = false;
};

}  // namespace

std::unique_ptr<IncomingWatch> watchIncoming(platform::Environment& env) {
  std::string address;
  if (auto variable = env.variable("DBUS_SESSION_BUS_ADDRESS"); variable && !variable->empty())
    address = *variable;
  else if (auto runtime = platform::runtimeDirectory(env))
    address = "unix:path=" + *runtime + "/bus";
  else
    return nullptr;
  auto watch = std::make_unique<BusWatch>();
  if (!watch->connect(address)) return nullptr;
  return watch;
}

}  // namespace nolt::host
