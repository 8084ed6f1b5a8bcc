#include "cli/link/app_connection.h"

#include <optional>
#include <semaphore>

#include "platform/file_types.h"
#include "platform/identifiers.h"
#include "wire/cli_records.h"

namespace nolt::link {

using platform::kCommandPortName;
using platform::kHostBundleID;

namespace {

// The folder holding `path`: what comes before its last name and the slashes ahead of that
// name. "/" is its own folder; a bare name has none ("").
std::string_view folderOf(std::string_view path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  std::size_t end = path.find_last_not_of('/', slash);
  return end == std::string_view::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

}  // namespace

wire::JSONValue AppConnection::send(std::string_view command, const wire::JSONObject& arguments) {
  std::string request = wire::CLIRequest{std::string(command), arguments}.encode();
  std::unique_ptr<platform::PortConnection> port = openPort();
  std::string reply;
  auto status = port->sendRequest(kMessageID, request, kSendTimeout, kReceiveTimeout, reply);
  port.reset();
  return resultOf(status, reply);
}

wire::JSONValue AppConnection::sendStreamed(std::uint32_t length, const StreamedRequest& produce) {
  std::unique_ptr<platform::PortConnection> port = openPort();
  std::string reply;
  auto status =
      port->sendStreamedRequest(kMessageID, length, produce, kSendTimeout, kReceiveTimeout, reply);
  port.reset();
  return resultOf(status, reply);
}

wire::JSONValue AppConnection::resultOf(platform::PortConnection::Status status,
                                        const std::string& reply) {
  if (status != platform::PortConnection::Status::success || reply.empty())
    throw Failure::noAnswer();
  wire::CLIResponse response;
  try {
    response = wire::CLIResponse::decode(reply);
  } catch (const wire::JSONDecodingError&) {
    throw Failure::noAnswer();
  }
  // An error wins even when a result came along.
  if (response.error) throw Failure::app(std::move(*response.error));
  return response.result ? std::move(*response.result) : wire::JSONValue();
}

std::unique_ptr<platform::PortConnection> AppConnection::openPort() {
  if (auto port = services_.port.open(kCommandPortName)) return port;
  // Up without its port: the user has not allowed integrations.
  if (!services_.instances.running(kHostBundleID).empty()) throw Failure::integrationsOff();
  launchHost();
  std::optional<double> firstSeenLaunched;
  for (int attempt = 1; attempt <= kPollAttempts; ++attempt) {
    services_.clock.sleep(kPollInterval);
    if (auto port = services_.port.open(kCommandPortName)) return port;
    auto instances = services_.instances.running(kHostBundleID);
    if (instances.empty() || !instances.front().finishedLaunching) continue;
    double now = services_.clock.now();
    if (!firstSeenLaunched) firstSeenLaunched = now;
    if (now - *firstSeenLaunched > kGiveUpAfterLaunched) break;
  }
  throw Failure::integrationsOff();
}

void AppConnection::launchHost() {
  std::optional<platform::Application> app;
  // Inside the host's bundle (…/Nolt.app/Contents/MacOS/nolt) the bundle is the host.
  if (auto own = services_.workspace.ownExecutablePath()) {
    std::string_view bundle = folderOf(folderOf(folderOf(*own)));
    if (platform::pathExtension(bundle) == "app") app = platform::Application{std::string(bundle)};
  }
  if (!app) app = services_.workspace.applicationFor(kHostBundleID);
  if (!app) throw Failure::notRunning();

  // The completion runs on another thread; the semaphore orders its write before our read.
  std::binary_semaphore opened(0);
  bool failed = false;
  services_.workspace.openQuietly(*app, [&](std::optional<std::string> error) {
    failed = error.has_value();
    opened.release();
  });
  opened.acquire();
  if (failed) throw Failure::notRunning();
}

}  // namespace nolt::link
