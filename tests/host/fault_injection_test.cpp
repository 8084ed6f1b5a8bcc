// The real nolt-host with one file-changing call made to fail, at every such call of an
// import, a set-aside and an add in turn: the host is killed there, or the call fails with EIO
// or ENOSPC. After each, a clean start recovers everything: nothing lost, split, doubled or
// left behind. The fault comes from tests/fault_shim (LD_PRELOAD), which counts calls only
// once the host has announced it is running.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/base64.h"
#include "platform/careful_files.h"
#include "platform/command_port.h"
#include "platform/identifiers.h"
#include "platform/testing/test_environment.h"
#include "tests/host/host_process.h"
#include "tests/support/deadline.h"
#include "tests/support/test_host_process.h"
#include "wire/cli_records.h"

namespace nolt::host_tests {
namespace {

namespace fs = std::filesystem;
using wire::JSONValue;

constexpr const char* kCaptureID = "A0000000-0000-0000-0000-0000000000F1";
constexpr const char* kPayload = "%PDF the user's own scan";

enum class Operation { import, setAside, add };

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(NOLT_FAULT_SHIM)) GTEST_SKIP() << "no fault shim";
    // The sanitizers' runtime must come first in the process; a preloaded library before it
    // stops it from starting.
    if (std::getenv("ASAN_OPTIONS") || std::getenv("UBSAN_OPTIONS"))
      GTEST_SKIP() << "LD_PRELOAD and the sanitizers' runtime don't mix";
  }

  void freshHome() {
    fs::remove_all(dir_.path() + "/home");
    fs::remove_all(runtime_);
    fs::create_directories(home_);
    fs::create_directories(runtime_);
    ::chmod(runtime_.c_str(), 0700);
    env_ = test_support::sessionEnvironment(home_, runtime_);
    env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + dir_.path() + "/no-bus";
    env_["QT_QPA_PLATFORM"] = "offscreen";
  }
  fs::path container() const { return home_ + "/.local/share/group.app.nolt"; }

  void plantCapture(bool readable) {
    fs::path folder = container() / "Incoming" / kCaptureID;
    fs::create_directories(folder);
    std::ofstream(folder / "scan.pdf") << kPayload;
    std::ofstream(folder / "request.json")
        << (readable ? R"({"kind":"file","fileName":"scan.pdf","tags":[],"note":"","createdAt":0})"
                     : "not a request");
  }

  // What the host does in the run under test, from a fresh home; true when the client was
  // told an add succeeded.
  bool runOperation(Operation operation, const Environment& env, int* exitStatus) {
    if (operation != Operation::add) plantCapture(operation == Operation::import);
    HostProcess host(program(), {}, env);
    bool told = false;
    if (host.waitUntilRunning(runtime_, 20) && operation == Operation::add) {
      std::string reply;
      JSONValue arguments = JSONValue(
          wire::JSONObject{{"name", "scan.pdf"}, {"data", platform::base64::encode(kPayload)}});
      if (auto connection = port()->open(platform::kCommandPortName))
        if (connection->sendRequest(0, wire::CLIRequest{"add_file", *arguments.object()}.encode(),
                                    10, 30, reply) == platform::PortConnection::Status::success)
          told = !wire::CLIResponse::decode(reply).error;
    }
    // Done when the inbox is empty or the host died; a failed call may leave a capture in
    // the inbox for the next pass, which the clean start takes.
    test_support::waitUntil(1.5, [&] { return host.exited() || inboxTaken(); });
    *exitStatus = host.stop();
    return told;
  }

  bool inboxTaken() {
    std::error_code error;
    fs::path removing = container() / "Library" / "Removing";
    fs::path inbox = container() / "Incoming";
    return (!fs::exists(inbox, error) || fs::is_empty(inbox, error)) &&
           (!fs::exists(removing, error) || fs::is_empty(removing, error));
  }

  // Nothing staged in Rejected, and every capture there has its reason beside it.
  bool setAsidesWhole() {
    for (const std::string& name : namesIn(container() / "Rejected")) {
      std::error_code error;
      if (name.front() == '.' || !fs::exists(container() / "Rejected" / name / "reason.txt", error))
        return false;
    }
    return true;
  }

  std::unique_ptr<platform::CommandPort> port() {
    testEnv_.variables.clear();
    for (const auto& [name, value] : env_) testEnv_.variables[name] = value;
    return platform::makeUnixCommandPort(testEnv_);
  }
  std::int64_t itemCount() {
    std::string reply;
    auto connection = port()->open(platform::kCommandPortName);
    if (!connection) return -1;
    connection->sendRequest(0, wire::CLIRequest{"search", {{"limit", 5}}}.encode(), 10, 30, reply);
    auto response = wire::CLIResponse::decode(reply);
    if (!response.result) return -1;
    return response.result->subscript("total")->intValue().value_or(-1);
  }

  std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Temporary files of a writer killed mid-way, anywhere in the container.
  std::vector<std::string> temporaryFiles() {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(container()))
      if (platform::isTemporaryName(entry.path().filename().string()))
        found.push_back(entry.path());
    return found;
  }

  // A clean start after the faulty run: everything is whole, once, and nothing is left over.
  void expectRecovered(Operation operation, bool told, const std::string& at) {
    SCOPED_TRACE(at);
    HostProcess host(program(), {}, env_);
    ASSERT_TRUE(host.waitUntilRunning(runtime_, 20));
    // The host serves before it takes the inbox and finishes a half-done set-aside: wait for
    // both, or the checks below race its start on a loaded machine.
    test_support::waitUntil(10, [&] { return inboxTaken() && setAsidesWhole(); });
    EXPECT_TRUE(namesIn(container() / "Incoming").empty());
    std::int64_t items = itemCount();
    std::vector<std::string> stored = namesIn(container() / "Library" / "Files");
    switch (operation) {
      case Operation::import:
        EXPECT_EQ(items, 1);
        EXPECT_TRUE(namesIn(container() / "Rejected").empty());
        break;
      case Operation::setAside: {
        EXPECT_EQ(items, 0);
        fs::path aside = container() / "Rejected" / kCaptureID;
        EXPECT_EQ(namesIn(container() / "Rejected"), std::vector<std::string>{kCaptureID});
        EXPECT_EQ(namesIn(aside),
                  (std::vector<std::string>{"reason.txt", "request.json", "scan.pdf"}));
        EXPECT_EQ(test_support::readFile(aside / "scan.pdf"), kPayload);
        EXPECT_EQ(test_support::readFile(aside / "reason.txt"),
                  "request.json isn't a capture request this host can read.\n");
        break;
      }
      case Operation::add:
        EXPECT_TRUE(items == 0 || items == 1) << items;
        if (told) {
          EXPECT_EQ(items, 1) << "an add reported saved was lost";
        }
        break;
    }
    // One folder per stored item, each holding the whole file.
    EXPECT_EQ(static_cast<std::int64_t>(stored.size()), items);
    for (const std::string& id : stored)
      EXPECT_EQ(test_support::readFile(container() / "Library" / "Files" / id / "scan.pdf"),
                kPayload);
    EXPECT_EQ(host.stop(), 0);
    EXPECT_TRUE(temporaryFiles().empty()) << temporaryFiles().front();
  }

  // A fault of `kind` at `points` of the operation's calls, spread evenly from the first to
  // the last (at every call when it has no more): two host starts each, so the suite keeps to
  // a minute or two on two cores.
  void faultEveryCall(Operation operation, const std::string& kind, long points) {
    freshHome();
    Environment counting = env_;
    counting["LD_PRELOAD"] = NOLT_FAULT_SHIM;
    counting["NOLT_FAULT_ARM"] = "running\n";
    counting["NOLT_FAULT_AT"] = "0";
    counting["NOLT_FAULT_REPORT"] = dir_.path() + "/calls";
    int status = 0;
    runOperation(operation, counting, &status);
    long calls = std::stol(test_support::readFile(dir_.path() + "/calls").value_or("0"));
    ASSERT_GT(calls, 3) << "the shim counted nothing";
    long stride = std::max(1L, calls / points);
    for (long at = 1; at <= calls; at += stride) {
      freshHome();
      Environment faulty = env_;
      faulty["LD_PRELOAD"] = NOLT_FAULT_SHIM;
      faulty["NOLT_FAULT_ARM"] = "running\n";
      faulty["NOLT_FAULT_AT"] = std::to_string(at);
      faulty["NOLT_FAULT"] = kind;
      bool told = runOperation(operation, faulty, &status);
      expectRecovered(operation, told,
                      kind + " at call " + std::to_string(at) + " of " + std::to_string(calls));
      if (HasFailure()) return;  // one failing point says enough
    }
  }

  static std::string program() { return std::string(NOLT_BIN_DIR) + "/nolt-host"; }

  test_support::TempDir dir_;
  std::string home_ = dir_.path() + "/home";
  std::string runtime_ = dir_.path() + "/run";
  Environment env_;
  platform::testing::TestEnvironment testEnv_;
};

TEST_F(FaultInjectionTest, AnImportKilledAtAnyCallRecovers) {
  faultEveryCall(Operation::import, "kill", 30);
}
TEST_F(FaultInjectionTest, AnImportWithAFailingCallRecovers) {
  faultEveryCall(Operation::import, "EIO", 10);
  faultEveryCall(Operation::import, "ENOSPC", 10);
}
TEST_F(FaultInjectionTest, ASetAsideKilledAtAnyCallRecovers) {
  faultEveryCall(Operation::setAside, "kill", 30);
}
TEST_F(FaultInjectionTest, ASetAsideWithAFailingCallRecovers) {
  faultEveryCall(Operation::setAside, "ENOSPC", 10);
}
TEST_F(FaultInjectionTest, AnAddKilledAtAnyCallRecovers) {
  faultEveryCall(Operation::add, "kill", 30);
}
TEST_F(FaultInjectionTest, AnAddWithAFailingCallRecovers) {
  faultEveryCall(Operation::add, "EIO", 10);
}

}  // namespace
}  // namespace nolt::host_tests
