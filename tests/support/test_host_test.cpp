#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <thread>

#include "platform/command_port.h"
#include "platform/host_instance.h"
#include "platform/testing/test_environment.h"
#include "tests/support/deadline.h"
#include "tests/support/test_host_process.h"

namespace nolt::test_support {
namespace {

using platform::PortConnection;

class TestHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_FALSE(runtime_.path().empty());
    env_.variables["XDG_RUNTIME_DIR"] = runtime_.path();
  }
  TestHostProcess start(std::vector<std::string> arguments) {
    return TestHostProcess(std::move(arguments), sessionEnvironment(home_.path(), runtime_.path()));
  }
  // One exchange through the real port; none when no port opened.
  std::optional<std::pair<PortConnection::Status, std::string>> ask(std::string_view request) {
    auto connection = platform::makeUnixCommandPort(env_, 1.0)->open("group.app.nolt.cli");
    if (!connection) return std::nullopt;
    std::string reply;
    auto status = connection->sendRequest(0, request, 10, 60, reply);
    return std::pair{status, reply};
  }

  TempDir home_, runtime_;
  platform::testing::TestEnvironment env_;
};

TEST_F(TestHostTest, RepliesPerCommandAndRecordsRequests) {
  ASSERT_TRUE(
      home_.write("replies.json", R"({"search":"{\"result\":[1,2]}","*":{"error":"nope"}})"));
  auto host = start({"--replies", home_.file("replies.json"), "--record", home_.file("log")});
  ASSERT_TRUE(host.ready());
  struct stat st {};
  ASSERT_EQ(stat(runtime_.file("group.app.nolt.cli").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Several clients at once, each with its own exchange.
  std::vector<std::thread> clients;
  std::vector<std::optional<std::pair<PortConnection::Status, std::string>>> answers(4);
  for (int i = 0; i < 4; ++i)
    clients.emplace_back([&, i] {
      answers[i] = ask(i % 2 ? R"({"command":"search","arguments":{}})"
                             : R"({"command":"show","arguments":{}})");
    });
  for (auto& c : clients) c.join();
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(answers[i]);
    EXPECT_EQ(answers[i]->first, PortConnection::Status::success);
    EXPECT_EQ(answers[i]->second, i % 2 ? R"({"result":[1,2]})" : R"({"error":"nope"})");
  }
  auto log = readFile(home_.file("log"));
  ASSERT_TRUE(log);
  EXPECT_EQ(std::count(log->begin(), log->end(), '\n'), 4);
  EXPECT_NE(log->find(R"({"command":"show","arguments":{}})"
                      "\n"),
            std::string::npos);

  auto status = host.stop();
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  EXPECT_NE(access(runtime_.file("group.app.nolt.cli").c_str(), F_OK), 0) << "socket removed";
  EXPECT_TRUE(platform::makeLockedInstanceProbe(env_)->running("app.nolt.Nolt").empty());
}

TEST_F(TestHostTest, ModesShapeTheReply) {
  struct Case {
    const char* mode;
    PortConnection::Status status;
    std::string reply;
  };
  const Case cases[] = {
      {"normal", PortConnection::Status::success, R"({"result":null})"},
      {"notjson", PortConnection::Status::success, "this is not json"},
      {"empty", PortConnection::Status::success, ""},
      {"close", PortConnection::Status::transportError, ""},
      {"silent", PortConnection::Status::receiveTimeout, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    auto host = start({"--mode", c.mode});
    ASSERT_TRUE(host.ready());
    auto instances = platform::makeLockedInstanceProbe(env_)->running("app.nolt.Nolt");
    ASSERT_EQ(instances.size(), 1u);
    EXPECT_TRUE(instances[0].finishedLaunching);
    auto answer = ask(R"({"command":"ping"})");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->first, c.status);
    EXPECT_EQ(answer->second, c.reply);
  }
}

TEST_F(TestHostTest, WithoutPortItRunsButServesNothing) {
  auto host = start({"--no-port"});
  ASSERT_TRUE(host.ready());
  auto instances = platform::makeLockedInstanceProbe(env_)->running("app.nolt.Nolt");
  ASSERT_EQ(instances.size(), 1u);
  EXPECT_TRUE(instances[0].finishedLaunching);
  EXPECT_FALSE(ask("{}"));
}

TEST_F(TestHostTest, StaysLaunchingThroughThePortDelay) {
  TestHostProcess host({"--port-delay", "30"}, sessionEnvironment(home_.path(), runtime_.path()),
                       0.5);
  EXPECT_FALSE(host.ready());
  // Bounded wait for the real process to write its record.
  std::vector<platform::RunningInstance> instances;
  test_support::waitUntil(5, [&] {
    instances = platform::makeLockedInstanceProbe(env_)->running("app.nolt.Nolt");
    return !instances.empty();
  });
  ASSERT_EQ(instances.size(), 1u);
  EXPECT_FALSE(instances[0].finishedLaunching);
  EXPECT_FALSE(ask("{}"));
  auto status = host.stop();
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "SIGTERM ends the wait";
}

TEST_F(TestHostTest, SecondHostFindsTheRecordTaken) {
  auto first = start({});
  ASSERT_TRUE(first.ready());
  auto second = start({});
  EXPECT_FALSE(second.ready());
  auto status = second.stop();
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 3);
}

}  // namespace
}  // namespace nolt::test_support
