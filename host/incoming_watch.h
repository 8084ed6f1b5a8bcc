// host/incoming_watch.h - hearing the inbox notification: the D-Bus signal app.nolt.Nolt.incoming
// on path /app/nolt/Nolt, on the session bus ($DBUS_SESSION_BUS_ADDRESS, else the runtime
// directory's bus). The signal carries nothing; it only says "look into the inbox".
#pragma once

#include <memory>

#include "platform/environment.h"

namespace nolt::host {

class IncomingWatch {
 public:
  virtual ~IncomingWatch() = default;
  virtual int fd() = 0;  // poll it for `events()`
  virtual short events() = 0;
  // Reads what arrived; true when the signal came at least once since the last call. False
  // with `broken()` set once the bus is gone.
  virtual bool takeSignal() = 0;
  virtual bool broken() = 0;
};

// None when there is no session bus to listen on.
std::unique_ptr<IncomingWatch> watchIncoming(platform::Environment& env);

}  // namespace nolt::host
