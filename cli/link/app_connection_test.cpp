#include "cli/link/app_connection.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "cli/link/testing/send_failure.h"
#include "platform/testing/fake_clock.h"
#include "platform/testing/fake_command_port.h"
#include "platform/testing/fake_workspace.h"
#include "wire/cli_records.h"

namespace nolt::link {

using wire::JSONArray;
using wire::JSONEncodingError;
using wire::JSONObject;
using wire::JSONValue;
namespace {

using Kind = AppConnection::Failure::Kind;
using platform::PortConnection;
using platform::RunningInstance;
using testing::failureOf;

class AppConnectionTest : public ::testing::Test {
 protected:
  AppConnection connection() { return AppConnection({port, instances, workspace, clock}); }
  // A host registered with the desktop that is not serving: a connection has to launch it.
  void hostToLaunch() {
    port.served = false;
    workspace.registered = platform::Application{"/a/app.nolt.Nolt.desktop"};
  }
  // The launch leaves a host that has, or has not, finished launching, and never serves.
  void launchLeavesHost(bool finished) {
    workspace.onOpen = [this, finished](const platform::Application&) {
      instances.instances = {RunningInstance{finished}};
    };
  }

  platform::testing::FakeCommandPort port;
  platform::testing::FakeHostInstances instances;
  platform::testing::FakeWorkspace workspace;
  platform::testing::FakeClock clock;
};

TEST_F(AppConnectionTest, ServedPortMeansOneRequestAndNoOtherQuestion) {
  port.reply = R"({"result":{"items":[],"total":0}})";
  JSONValue result = connection().send("search", JSONObject{{"query", "a/b"}, {"limit", 5}});
  EXPECT_EQ(result, JSONValue::decode(R"({"items":[],"total":0})"));
  ASSERT_EQ(port.exchanges.size(), 1u);
  const auto& exchange = port.exchanges[0];
  EXPECT_EQ(exchange.messageID, 0u);
  EXPECT_EQ(exchange.request, R"({"arguments":{"limit":5,"query":"a\/b"},"command":"search"})");
  EXPECT_EQ(exchange.sendTimeout, 10.0);
  EXPECT_EQ(exchange.receiveTimeout, 60.0);
  EXPECT_EQ(port.openedNames, std::vector<std::string>{"group.app.nolt.cli"});
  EXPECT_EQ(port.liveConnections, 0);
  EXPECT_EQ(instances.queries, 0);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(AppConnectionTest, RepliesBecomeResultsOrFailures) {
  struct Case {
    std::string reply;
    PortConnection::Status status;
    std::optional<JSONValue> result;  // none: a failure of `kind` with `text`
    Kind kind;
    std::string text;
  };
  const auto ok = PortConnection::Status::success;
  std::vector<Case> cases = {
      {R"({"result":[1,2]})", ok, JSONValue(JSONArray{1, 2}), {}, ""},
      {"{}", ok, JSONValue(), {}, ""},
      {R"({"result":null,"extra":true})", ok, JSONValue(), {}, ""},
      {R"({"error":"No item with that id."})", ok, {}, Kind::app, "No item with that id."},
      {R"({"result":[1],"error":"Both."})", ok, {}, Kind::app, "Both."},
      {R"({"error":"bad\u0000thing"})", ok, {}, Kind::app, std::string("bad\0thing", 9)},
      {"not json", ok, {}, Kind::noAnswer, "Nolt didn't answer."},
      {"[1]", ok, {}, Kind::noAnswer, "Nolt didn't answer."},
      {"", ok, {}, Kind::noAnswer, "Nolt didn't answer."},
      {"{}", PortConnection::Status::receiveTimeout, {}, Kind::noAnswer, "Nolt didn't answer."},
      {"{}", PortConnection::Status::transportError, {}, Kind::noAnswer, "Nolt didn't answer."},
  };
  for (const Case& c : cases) {
    port.reply = c.reply;
    port.status = c.status;
    try {
      JSONValue result = connection().send("item", JSONObject{{"id", "A"}});
      EXPECT_EQ(std::optional<JSONValue>(result), c.result) << c.reply;
    } catch (const AppConnection::Failure& f) {
      EXPECT_FALSE(c.result) << c.reply << " failed with " << f.what();
      EXPECT_EQ(f.kind(), c.kind) << c.reply;
      EXPECT_EQ(f.text(), c.text) << c.reply;
    }
  }
  EXPECT_EQ(port.liveConnections, 0);
}

TEST_F(AppConnectionTest, HostUpWithoutPortIsIntegrationsOffAtOnce) {
  port.served = false;
  instances.instances = {RunningInstance{true}};
  EXPECT_EQ(failureOf(connection()), Kind::integrationsOff);
  EXPECT_EQ(instances.queriedIDs, std::vector<std::string>{"app.nolt.Nolt"});
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_TRUE(workspace.opened.empty());
}

TEST_F(AppConnectionTest, HostNowhereToBeFoundIsNotRunningWithoutWaiting) {
  port.served = false;
  EXPECT_EQ(failureOf(connection()), Kind::notRunning);
  EXPECT_EQ(workspace.lookedUpIDs, std::vector<std::string>{"app.nolt.Nolt"});
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(AppConnectionTest, HostThatCannotBeStartedIsNotRunning) {
  port.served = false;
  workspace.registered = platform::Application{"/usr/share/applications/app.nolt.Nolt.desktop"};
  workspace.openError = "No such file";
  EXPECT_EQ(failureOf(connection()), Kind::notRunning);
  EXPECT_EQ(workspace.opened.size(), 1u);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(AppConnectionTest, ToolInsideTheHostsBundleOpensThatBundle) {
  port.served = false;
  workspace.ownPath = "/Applications/Nolt.app/Contents/MacOS/nolt";
  workspace.registered = platform::Application{"/elsewhere/app.nolt.Nolt.desktop"};
  workspace.onOpen = [&](const platform::Application&) { port.served = true; };
  connection().send("spaces", {});
  EXPECT_EQ(workspace.opened, std::vector<std::string>{"/Applications/Nolt.app"});
  EXPECT_TRUE(workspace.lookedUpIDs.empty());
}

TEST_F(AppConnectionTest, TheBundleIsThreeFoldersAboveTheToolWhenItsNameEndsInApp) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/A/Nolt.app/Contents/MacOS/nolt", "/A/Nolt.app"},
      {"//A//Nolt.app//Contents/MacOS//nolt", "//A//Nolt.app"},
      {"Nolt.app/Contents/MacOS/nolt", "Nolt.app"},
      {"/x.app/Contents/MacOS/nolt", "/x.app"},
      {"/A/Nolt.app/Contents/MacOS/", "/A/Nolt.app"},
      // Not bundles: a name that is only ".app", too few folders, or another extension.
      {"/A/.app/Contents/MacOS/nolt", "/registered"},
      {"/Contents/MacOS/nolt", "/registered"},
      {"MacOS/nolt", "/registered"},
      {"/A/Nolt.apps/Contents/MacOS/nolt", "/registered"},
  };
  for (const auto& [own, opened] : cases) {
    port.served = false;
    workspace.opened.clear();
    workspace.ownPath = own;
    workspace.registered = platform::Application{"/registered"};
    workspace.onOpen = [&](const platform::Application&) { port.served = true; };
    connection().send("spaces", {});
    EXPECT_EQ(workspace.opened, std::vector<std::string>{opened}) << own;
  }
}

TEST_F(AppConnectionTest, ToolOutsideABundleOpensTheRegisteredHost) {
  hostToLaunch();
  workspace.ownPath = "/usr/local/bin/nolt";
  workspace.onOpen = [&](const platform::Application&) { port.served = true; };
  connection().send("spaces", {});
  EXPECT_EQ(workspace.opened, std::vector<std::string>{"/a/app.nolt.Nolt.desktop"});
}

TEST_F(AppConnectionTest, PortOnTheThirdPollSendsAfterThreeQuarters) {
  hostToLaunch();
  clock.onSleep = [&](double now) { port.served = now >= 0.75; };
  connection().send("spaces", {});
  EXPECT_EQ(clock.sleeps, (std::vector<double>{0.25, 0.25, 0.25}));
  EXPECT_EQ(clock.now(), 0.75);
  EXPECT_EQ(port.exchanges.size(), 1u);
  EXPECT_EQ(port.opens, 4);
}

TEST_F(AppConnectionTest, LaunchedHostWithoutPortIsGivenUpOnAfterThreeSeconds) {
  hostToLaunch();
  // Not running at the first question, finished launching at once after the launch.
  launchLeavesHost(true);
  EXPECT_EQ(failureOf(connection()), Kind::integrationsOff);
  // First seen finished at 0.25 s; the first poll more than 3.0 s later is at 3.5 s.
  EXPECT_EQ(clock.now(), 3.5);
  EXPECT_EQ(clock.sleeps.size(), 14u);
}

TEST_F(AppConnectionTest, GiveUpCountsFromWhenTheHostFinishedLaunching) {
  hostToLaunch();
  clock.onSleep = [&](double now) { instances.instances = {RunningInstance{now >= 2.0}}; };
  EXPECT_EQ(failureOf(connection()), Kind::integrationsOff);
  EXPECT_EQ(clock.now(), 5.25);
}

TEST_F(AppConnectionTest, HostThatNeverFinishesLaunchingIsPolledSixtyTimes) {
  hostToLaunch();
  launchLeavesHost(false);
  EXPECT_EQ(failureOf(connection()), Kind::integrationsOff);
  EXPECT_EQ(clock.sleeps.size(), 60u);
  EXPECT_EQ(clock.now(), 15.0);
  EXPECT_EQ(port.opens, 61);
}

TEST_F(AppConnectionTest, ArgumentsThatCannotBeWrittenFailUnchanged) {
  JSONObject bad{{"size", std::numeric_limits<double>::infinity()}};
  EXPECT_THROW(connection().send("image", bad), JSONEncodingError);
  EXPECT_TRUE(port.exchanges.empty());
  EXPECT_EQ(port.liveConnections, 0);
}

TEST(AppConnectionFailureTest, TextsAreFixed) {
  EXPECT_STREQ(AppConnection::Failure::notRunning().what(), "Couldn't open Nolt.");
  EXPECT_STREQ(AppConnection::Failure::integrationsOff().what(),
               "Nolt isn't sharing its library. Turn on Settings → Integrations in Nolt.");
  EXPECT_STREQ(AppConnection::Failure::noAnswer().what(), "Nolt didn't answer.");
  EXPECT_STREQ(AppConnection::Failure::app("Host text.").what(), "Host text.");
}

}  // namespace
}  // namespace nolt::link
