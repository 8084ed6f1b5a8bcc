// cli/link/app_connection.h - nolt's only road to the host: one request, one reply per call.
// Finds the host's command port, starting the host in the background when it is not running,
// and turns every way an exchange can go wrong into one of four failures with fixed texts.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cli/link/user_error.h"
#include "platform/clock.h"
#include "platform/command_port.h"
#include "platform/host_instance.h"
#include "platform/workspace.h"
#include "wire/json_value.h"

namespace nolt::link {

// The platform services the connection runs on; only main() builds real ones.
struct HostServices {
  platform::CommandPort& port;
  platform::HostInstances& instances;
  platform::Workspace& workspace;
  platform::Clock& clock;
};

class AppConnection {
 public:
  // Why an exchange failed; text() is the text shown to people and agents as it stands.
  class Failure : public UserError {
   public:
    enum class Kind { app, notRunning, integrationsOff, noAnswer };

    static Failure app(std::string text) { return Failure(Kind::app, std::move(text)); }
    static Failure notRunning() { return Failure(Kind::notRunning, "Couldn't open Nolt."); }
    static Failure integrationsOff() {
      return Failure(Kind::integrationsOff,
                     "Nolt isn't sharing its library. Turn on Settings → Integrations in Nolt.");
    }
    static Failure noAnswer() { return Failure(Kind::noAnswer, "Nolt didn't answer."); }

    Kind kind() const { return kind_; }

   private:
    Failure(Kind kind, std::string text) : UserError(std::move(text)), kind_(kind) {}
    Kind kind_;
  };

  static constexpr std::uint32_t kMessageID = 0;
  static constexpr double kSendTimeout = 10.0;
  static constexpr double kReceiveTimeout = 60.0;
  static constexpr int kPollAttempts = 60;
  static constexpr double kPollInterval = 0.25;
  // A host that finished launching but has not opened its port by then never will.
  static constexpr double kGiveUpAfterLaunched = 3.0;

  explicit AppConnection(HostServices services) : services_(services) {}

  // Sends one command and returns the host's result, null when it sent none. Throws Failure,
  // or wire::JSONEncodingError when the arguments cannot be written.
  wire::JSONValue send(std::string_view command, const wire::JSONObject& arguments);
  // The same exchange for a request of `length` bytes written piece by piece, so that a request
  // carrying a whole file is never held whole. An exception from `produce` abandons the
  // exchange (the host takes nothing) and goes on to the caller.
  using StreamedRequest = std::function<void(const platform::PortConnection::PayloadWriter&)>;
  wire::JSONValue sendStreamed(std::uint32_t length, const StreamedRequest& produce);

  // The open port; starts the host and waits for it when needed.
  std::unique_ptr<platform::PortConnection> openPort();
  // Starts the host in the background without waiting for its port.
  void launchHost();

 private:
  static wire::JSONValue resultOf(platform::PortConnection::Status status,
                                  const std::string& reply);

  HostServices services_;
};

}  // namespace nolt::link
