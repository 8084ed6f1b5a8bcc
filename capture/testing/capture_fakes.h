// capture/testing/capture_fakes.h - in-process stand-ins for the services capture writers use:
// an environment set field by field, numbered UUIDs, and a notification centre that records.
#pragma once

#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/notify.h"
#include "platform/uuid.h"

namespace nolt::capture::testing {

class FakeEnvironment final : public platform::Environment {
 public:
  std::map<std::string, std::string> variables;

  std::optional<std::string> variable(const std::string& name) override {
    auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
  uid_t userID() override { return getuid(); }
  bool isOwnedDirectory(const std::string&) override { return false; }
};

// 00000000-0000-4000-8000-000000000001, ...02, and so on.
class SequentialUUIDSource final : public platform::UUIDSource {
 public:
  platform::UUID next() override { return numbered(++count); }

  static platform::UUID numbered(unsigned n) {
    platform::UUID uuid;
    uuid.bytes[6] = 0x40;
    uuid.bytes[8] = 0x80;
    uuid.bytes[12] = static_cast<unsigned char>(n >> 24);
    uuid.bytes[13] = static_cast<unsigned char>(n >> 16);
    uuid.bytes[14] = static_cast<unsigned char>(n >> 8);
    uuid.bytes[15] = static_cast<unsigned char>(n);
    return uuid;
  }

  unsigned count = 0;
};

class RecordingNotificationCenter final : public platform::NotificationCenter {
 public:
  void post(std::string_view name) override { posted.emplace_back(name); }
  std::vector<std::string> posted;
};

}  // namespace nolt::capture::testing
