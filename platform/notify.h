// platform/notify.h - posting a notification name to whoever listens on the session bus.
// A name such as app.nolt.Nolt.incoming becomes the D-Bus signal with interface app.nolt.Nolt,
// member incoming, object path /app/nolt/Nolt and no arguments. Nothing is carried but the
// name, and nobody is told whether anyone heard it.
#pragma once

#include <memory>
#include <string_view>

#include "platform/environment.h"

namespace nolt::platform {

class NotificationCenter {
 public:
  virtual ~NotificationCenter() = default;
  // Delivered before returning; does nothing when there is no session bus.
  virtual void post(std::string_view name) = 0;
};

// The session bus at $DBUS_SESSION_BUS_ADDRESS, else unix:path=<runtime directory>/bus; both
// are looked up at each post.
std::unique_ptr<NotificationCenter> makeSessionBusNotificationCenter(Environment& env);

}  // namespace nolt::platform
