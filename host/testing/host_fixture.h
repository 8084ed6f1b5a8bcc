// host/testing/host_fixture.h - a library in memory with fake images, opener, ids and time,
// for tests of everything above the store.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "host/command_handlers.h"
#include "host/testing/fake_image_codec.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/sequential_uuid_source.h"
#include "tests/support/temp_dir.h"

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

class HostFixture : public ::testing::Test {
 protected:
  test_support::TempDir temporary_;
  std::filesystem::path folder_ = temporary_.path();
  // Each reading is one second after the last, so newest-first order is the order of adding.
  platform::testing::FakeWallClock clock_{
      std::chrono::sys_seconds{std::chrono::seconds{1'796'000'000}}, std::chrono::seconds{1}};
  Library library_{":memory:"};
  FileStore files_{folder_ / "Files"};
  FakeImageCodec images_;
  RecordingOpener opener_;
  platform::testing::SequentialUUIDSource uuids_;
  int changes_ = 0;
  CommandHandlers handlers_{HostServices{library_, files_, images_, opener_, uuids_, clock_},
                            [this] { ++changes_; }};
};

}  // namespace nolt::host::testing
