// nolt-safari: the native-messaging host of the browser extension. The browser starts it,
// writes framed messages to its standard input and reads the replies from its standard output;
// it ends when the browser closes standard input.
#include <csignal>
#include <iostream>

#include "platform/environment.h"
#include "platform/notify.h"
#include "platform/uuid.h"
#include "platform/wall_clock.h"
#include "safari/native_messaging.h"
#include "safari/safari_handler.h"

int main() {
  using namespace nolt;
  // A browser that goes away while we reply must not kill us half-way through a save.
  std::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);

  std::unique_ptr<platform::Environment> env = platform::makeProcessEnvironment();
  std::unique_ptr<platform::UUIDSource> uuids = platform::makeRandomUUIDSource();
  std::unique_ptr<platform::NotificationCenter> notifications =
      platform::makeSessionBusNotificationCenter(*env);
  std::unique_ptr<platform::WallClock> clock = platform::makeSystemWallClock();
  safari::SafariWebExtensionHandler handler({*env, *uuids, *notifications, *clock});
  return safari::serve(std::cin, std::cout,
                       [&](safari::ExtensionContext& context) { handler.beginRequest(context); });
}
