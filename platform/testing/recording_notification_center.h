// platform/testing/recording_notification_center.h - a notification centre that keeps the names
// of what was posted, in order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/notify.h"

namespace nolt::platform::testing {

class RecordingNotificationCenter final : public NotificationCenter {
 public:
  void post(std::string_view name) override { posted.emplace_back(name); }
  std::vector<std::string> posted;
};

}  // namespace nolt::platform::testing
