// tests/host/real_host_test.h - what a test of the real nolt-host starts from: a temporary HOME
// and runtime folder, no session bus, and a folder outside the container for what the host must
// leave alone. The host it starts, and any it started detached, end with the test.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host_process.h"

namespace nolt::host_tests {

class RealHostTest : public ::testing::Test {
 protected:
  RealHostTest() {
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(runtime_);
    ::chmod(runtime_.c_str(), 0700);
    std::filesystem::create_directories(outside_);
    env_ = environmentFor(runtime_);
  }
  ~RealHostTest() override {
    host_.reset();
    stopHostsOf(home_);
  }

  // No session bus: the host serves, and takes the inbox, without one.
  Environment environmentFor(const std::string& runtime) const {
    Environment env = test_support::sessionEnvironment(home_, runtime);
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + dir_.path() + "/no-bus";
    env["QT_QPA_PLATFORM"] = "offscreen";
    return env;
  }
  static std::string program() { return std::string(NOLT_BIN_DIR) + "/nolt-host"; }
  std::filesystem::path container() const { return home_ + "/.local/share/group.app.nolt"; }

  void startHost() {
    host_ = std::make_unique<HostProcess>(program(), std::vector<std::string>{}, env_);
    ASSERT_TRUE(host_->waitUntilRunning(runtime_));
  }
  wire::JSONValue ask(const std::string& command, wire::JSONObject arguments = {}) {
    return askHost(env_, command, std::move(arguments));
  }

  test_support::TempDir dir_;
  std::string home_ = dir_.path() + "/home";
  std::string runtime_ = dir_.path() + "/run";
  std::filesystem::path outside_ = dir_.path() + "/outside";
  Environment env_;
  std::unique_ptr<HostProcess> host_;
};

}  // namespace nolt::host_tests
