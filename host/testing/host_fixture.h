// host/testing/host_fixture.h - a library in memory with fake images, opener, ids and time,
// for tests of everything above the store.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "host/command_handlers.h"
#include "host/testing/fake_image_codec.h"

namespace nolt::host::testing {

class RecordingOpener : public Opener {
 public:
  std::vector<std::string> opened;
  std::optional<std::string> failure;
  std::optional<std::string> open(const std::string& target) override {
    opened.push_back(target);
    return failure;
  }
};

// UUIDs 00000000-0000-0000-0000-000000000001, ...2, ... in order.
class SequentialUUIDs : public platform::UUIDSource {
 public:
  platform::UUID next() override {
    platform::UUID uuid;
    ++count_;
    for (int i = 0; i < 8; ++i) uuid.bytes[15 - i] = static_cast<unsigned char>(count_ >> (8 * i));
    return uuid;
  }

 private:
  std::uint64_t count_ = 0;
};

class HostFixture : public ::testing::Test {
 protected:
  ~HostFixture() override { std::filesystem::remove_all(folder_); }

  static std::filesystem::path temporaryFolder() {
    char pattern[] = "/tmp/nolt-host-test-XXXXXX";
    return mkdtemp(pattern);
  }

  // Each call is one second after the last, so newest-first order is the order of adding.
  double tick() { return now_ += 1; }

  std::filesystem::path folder_ = temporaryFolder();
  double now_ = 1'796'000'000;
  Library library_{":memory:"};
  FileStore files_{folder_ / "Files"};
  FakeImageCodec images_;
  RecordingOpener opener_;
  SequentialUUIDs uuids_;
  int changes_ = 0;
  CommandHandlers handlers_{
      HostServices{library_, files_, images_, opener_, uuids_, [this] { return tick(); }},
      [this] { ++changes_; }};
};

}  // namespace nolt::host::testing
