// Any request bytes, whole and read in two parts as they come off the port: the host answers
// each with one response and neither crashes nor throws.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/command_handlers.h"
#include "host/request_exchange.h"
#include "host/testing/fake_image_codec.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/scratch_folder.h"
#include "wire/cli_records.h"

namespace {

struct NoOpener : nolt::host::Opener {
  std::optional<std::string> open(const std::string&) override { return std::nullopt; }
};

struct CountingUUIDs : nolt::platform::UUIDSource {
  nolt::platform::UUID next() override {
    nolt::platform::UUID uuid;
    ++count;
    for (int i = 0; i < 8; ++i) uuid.bytes[15 - i] = static_cast<unsigned char>(count >> (8 * i));
    return uuid;
  }
  std::uint64_t count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One library for the whole run, so requests meet what earlier ones saved.
  static nolt::host::Library library(":memory:");
  static nolt::platform::testing::ScratchFolder folder("nolt-host-fuzz");
  static nolt::host::FileStore files(folder.path() + "/Files");
  static nolt::host::testing::FakeImageCodec images;
  static NoOpener opener;
  static CountingUUIDs uuids;
  static nolt::platform::testing::FakeWallClock clock(
      std::chrono::sys_seconds{std::chrono::seconds{1'000'000'000}});
  static nolt::host::CommandHandlers handlers(
      nolt::host::HostServices{library, files, images, opener, uuids, clock});
  std::string_view request(reinterpret_cast<const char*>(data), size);
  std::string reply = handlers.respond(request);
  if (reply.empty()) __builtin_trap();

  auto exchange = nolt::host::makeRequestExchange(handlers, files, std::uint32_t(size));
  std::size_t cut = size ? data[0] % size : 0;
  exchange->take(request.substr(0, cut));
  exchange->take(request.substr(cut));
  nolt::wire::CLIResponse::decode(exchange->finish().payload);  // throws, and so fails, if bad
  return 0;
}
