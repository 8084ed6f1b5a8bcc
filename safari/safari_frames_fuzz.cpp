// Arbitrary bytes on standard input: framing, JSON and dispatch must answer or stop cleanly.
// No container is set, so saves stop at noContainer and nothing touches the disk.
#include <cstdint>
#include <sstream>

#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/recording_notification_center.h"
#include "platform/testing/sequential_uuid_source.h"
#include "platform/testing/test_environment.h"
#include "safari/native_messaging.h"
#include "safari/safari_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nolt;
  platform::testing::TestEnvironment env;
  platform::testing::SequentialUUIDSource uuids;
  platform::testing::FakeWallClock clock;
  platform::testing::RecordingNotificationCenter notifications;
  safari::SafariWebExtensionHandler handler({env, uuids, notifications, clock});
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  safari::serve(in, out, [&](safari::ExtensionContext& context) { handler.beginRequest(context); });
  return 0;
}
