// The host link end to end: the real socket, instance record and desktop entry, against
// test_host processes in a temporary session.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/link/app_connection.h"
#include "cli/link/testing/send_failure.h"
#include "platform/clock.h"
#include "platform/command_port.h"
#include "platform/environment.h"
#include "platform/host_instance.h"
#include "platform/workspace.h"
#include "tests/support/test_host_process.h"

namespace nolt::link {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;
namespace {

namespace fs = std::filesystem;
using Kind = AppConnection::Failure::Kind;
using test_support::TempDir;
using test_support::TestHostProcess;
using testing::failureOf;

// A desktop session confined to temporary folders, for this process and what it starts.
class HostLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = session_.file("home");
    runtime_ = session_.file("run");
    fs::create_directories(home_ + "/.local/share/applications");
    fs::create_directories(runtime_);
    fs::create_directories(session_.file("data-dirs"));
    ::chmod(runtime_.c_str(), 0700);
    ::setenv("HOME", home_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", session_.file("data-dirs").c_str(), 1);
    env_ = platform::makeProcessEnvironment();
    port_ = platform::makeUnixCommandPort(*env_, receiveCap_);
    instances_ = platform::makeLockedInstanceProbe(*env_);
    workspace_ = platform::makeDesktopWorkspace(*env_);
    clock_ = platform::makeSystemClock();
  }

  void TearDown() override { stopStrayHosts(); }

  AppConnection connection() { return AppConnection({*port_, *instances_, *workspace_, *clock_}); }

  std::unique_ptr<TestHostProcess> startHost(std::vector<std::string> options) {
    options.insert(options.end(), {"--record", session_.file("requests.log")});
    auto host = std::make_unique<TestHostProcess>(
        options, test_support::sessionEnvironment(home_, runtime_));
    EXPECT_TRUE(host->ready());
    return host;
  }

  std::vector<std::string> recorded() {
    std::vector<std::string> lines;
    std::ifstream in(session_.file("requests.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // Hosts started through the desktop entry run detached; find them by our folder's name.
  void stopStrayHosts() {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream in(entry.path() / "cmdline");
      std::string cmdline((std::istreambuf_iterator<char>(in)), {});
      if (cmdline.find(session_.path()) != std::string::npos &&
          cmdline.find("test_host") != std::string::npos)
        ::kill(std::stoi(entry.path().filename()), SIGKILL);
    }
  }

  TempDir session_;
  std::string home_, runtime_;
  std::optional<double> receiveCap_ = 1.0;
  std::unique_ptr<platform::Environment> env_;
  std::unique_ptr<platform::CommandPort> port_;
  std::unique_ptr<platform::HostInstances> instances_;
  std::unique_ptr<platform::Workspace> workspace_;
  std::unique_ptr<platform::Clock> clock_;
};

TEST_F(HostLinkTest, ExchangesOneRequestForOneReply) {
  session_.write("replies.json",
                 R"({"search": "{\"result\":{\"items\":[],\"total\":0}}",
                     "item": "{\"error\":\"No item with that id.\"}"})");
  auto host = startHost({"--replies", session_.file("replies.json")});
  EXPECT_EQ(connection().send("search", JSONObject{{"query", "red/blue"}, {"limit", 5}}),
            JSONValue::decode(R"({"items":[],"total":0})"));
  try {
    connection().send("item", JSONObject{{"id", "X"}});
    ADD_FAILURE() << "the host's error must fail the send";
  } catch (const AppConnection::Failure& f) {
    EXPECT_EQ(f.kind(), Kind::app);
    EXPECT_STREQ(f.what(), "No item with that id.");
  }
  EXPECT_TRUE(connection().send("spaces", {}).isNull());
  EXPECT_EQ(recorded(), (std::vector<std::string>{
                            R"({"arguments":{"limit":5,"query":"red\/blue"},"command":"search"})",
                            R"({"arguments":{"id":"X"},"command":"item"})",
                            R"({"arguments":{},"command":"spaces"})"}));
}

TEST_F(HostLinkTest, BrokenRepliesAreNoAnswer) {
  for (std::string mode : {"notjson", "empty", "close", "silent"}) {
    auto host = startHost({"--mode", mode});
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf(connection()), Kind::noAnswer) << mode;
    // Only the silent host costs the (shortened) receive time-out.
    if (mode != "silent") {
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
    }
    host->stop();
  }
  EXPECT_EQ(recorded().size(), 4u);
}

TEST_F(HostLinkTest, HostRunningWithoutPortIsIntegrationsOff) {
  auto host = startHost({"--no-port"});
  EXPECT_EQ(failureOf(connection()), Kind::integrationsOff);
}

TEST_F(HostLinkTest, NoHostAndNoDesktopEntryIsNotRunning) {
  EXPECT_EQ(failureOf(connection()), Kind::notRunning);
}

TEST_F(HostLinkTest, StaleInstanceRecordDoesNotCountAsRunning) {
  startHost({})->stop();  // leaves its record behind, unlocked
  ASSERT_TRUE(fs::exists(runtime_ + "/app.nolt.Nolt.instance"));
  EXPECT_TRUE(instances_->running("app.nolt.Nolt").empty());
  EXPECT_EQ(failureOf(connection()), Kind::notRunning);
}

TEST_F(HostLinkTest, StartsTheHostFromItsDesktopEntryAndWaitsForThePort) {
  std::string hostPath = test_support::testBinaryFolder() + "/test_host";
  session_.write("replies.json", R"({"spaces": "{\"result\":[]}"})");
  session_.write("home/.local/share/applications/app.nolt.Nolt.desktop",
                 "[Desktop Entry]\nType=Application\nName=Nolt\nExec=\"" + hostPath +
                     "\" --port-delay 1 --replies " + session_.file("replies.json") + " --record " +
                     session_.file("requests.log") + " %U\n");
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(connection().send("spaces", {}), JSONValue(JSONArray{}));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
  EXPECT_EQ(recorded(), std::vector<std::string>{R"({"arguments":{},"command":"spaces"})"});
}

}  // namespace
}  // namespace nolt::link
