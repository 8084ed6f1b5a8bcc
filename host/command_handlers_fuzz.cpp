// Any request bytes: the host answers with one response and neither crashes nor throws.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/command_handlers.h"
#include "host/testing/fake_image_codec.h"

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
  static nolt::host::FileStore files("/tmp/nolt-host-fuzz-files");
  static nolt::host::testing::FakeImageCodec images;
  static NoOpener opener;
  static CountingUUIDs uuids;
  static nolt::host::CommandHandlers handlers(
      nolt::host::HostServices{library, files, images, opener, uuids, [] { return 1.0e9; }});
  std::string reply = handlers.respond(std::string_view(reinterpret_cast<const char*>(data), size));
  if (reply.empty()) __builtin_trap();
  return 0;
}
