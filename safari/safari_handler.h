// safari/safari_handler.h - the browser extension's native side: lists the destinations, saves
// the current page as a link capture and an image sent as Base64 as a file capture.
// Every request is answered with one reply {"ok", "error"?, "destinations"?}; failures go into
// the reply, never out of the handler.
#pragma once

#include <stdexcept>

#include "platform/environment.h"
#include "platform/notify.h"
#include "platform/uuid.h"
#include "platform/wall_clock.h"
#include "safari/extension_context.h"

namespace nolt::safari {

class SafariWebExtensionHandler {
 public:
  // A save that cannot start; the reply's text is the bare case name.
  class SaveError : public std::runtime_error {
   public:
    enum class Kind { noContainer, badMessage };
    explicit SaveError(Kind kind);
    Kind kind() const { return kind_; }

   private:
    Kind kind_;
  };

  struct Services {
    platform::Environment& env;
    platform::UUIDSource& uuids;
    platform::NotificationCenter& notifications;
    platform::WallClock& clock;
  };

  explicit SafariWebExtensionHandler(Services services) : services_(std::move(services)) {}

  // Reads the message, acts on it, and completes the request with one reply item.
  void beginRequest(ExtensionContext& context);

 private:
  wire::JSONObject destinationsReply();
  void save(const wire::JSONObject& message);

  Services services_;
};

// The destinations reply {"ok": true, "destinations"} in at most `maxBytes` of text. A list too
// long for that keeps every space that fits and the first collections that fit after them, in
// the file's order; a collection whose space was left out is still listed.
wire::JSONObject fittedDestinationsReply(wire::JSONValue destinations, std::size_t maxBytes);

}  // namespace nolt::safari
