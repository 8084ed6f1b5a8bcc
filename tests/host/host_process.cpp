#include "tests/host/host_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/command_port.h"
#include "platform/identifiers.h"
#include "platform/testing/test_environment.h"
#include "tests/support/deadline.h"
#include "wire/cli_records.h"

namespace nolt::host_tests {

namespace fs = std::filesystem;
// How long the host may take to end once asked.
constexpr double kStopGrace = 10;

namespace {

test_support::Subprocess::Options hostOptions(const std::string& program,
                                              std::vector<std::string> arguments,
                                              const Environment& environment) {
  test_support::Subprocess::Options options;
  options.argv = std::move(arguments);
  options.argv.insert(options.argv.begin(), program);
  options.environment = environment;
  return options;  // output to /dev/null, errors to the test's own
}

}  // namespace

int connectToPort(const std::string& runtimeDirectory) {
  std::string path = runtimeDirectory + "/" + std::string(platform::kCommandPortName);
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

HostProcess::HostProcess(const std::string& program, std::vector<std::string> arguments,
                         const Environment& environment)
    : process_(hostOptions(program, std::move(arguments), environment)) {}

bool HostProcess::waitUntilRunning(const std::string& runtime, double seconds) {
  bool running = false;
  test_support::waitUntil(seconds, [&] {
    if (process_.poll()) return true;  // gone: no use waiting longer
    std::ifstream record(runtime + "/app.nolt.Nolt.instance");
    std::string word;
    record >> word;
    // A host killed before leaves its record and socket behind: the port must answer.
    if (word != "running") return false;
    int fd = connectToPort(runtime);
    if (fd < 0) return false;
    close(fd);
    running = true;
    return true;
  });
  return running;
}

void HostProcess::kill(int signal) {
  process_.signal(signal);
  if (!process_.wait(kStopGrace)) process_.kill();
}

int HostProcess::stop() {
  if (pid() <= 0) return -1;
  return test_support::exitCode(process_.stop(kStopGrace));
}

wire::JSONValue askHost(const Environment& environment, const std::string& command,
                        wire::JSONObject arguments) {
  platform::testing::TestEnvironment env;
  for (const auto& [name, value] : environment) env.variables[name] = value;
  auto connection = platform::makeUnixCommandPort(env)->open(platform::kCommandPortName);
  EXPECT_TRUE(connection);
  if (!connection) return {};
  std::string reply;
  EXPECT_EQ(
      connection->sendRequest(0, wire::CLIRequest{command, arguments}.encode(), 10, 60, reply),
      platform::PortConnection::Status::success);
  wire::CLIResponse response = wire::CLIResponse::decode(reply);
  EXPECT_FALSE(response.error) << *response.error;
  return response.result.value_or(wire::JSONValue());
}

void stopHostsOf(const std::string& home) {
  std::string wanted = "HOME=" + home;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
    if (ec || exe.filename() != "nolt-host") continue;
    std::ifstream environ(entry.path() / "environ", std::ios::binary);
    std::string variable;
    while (std::getline(environ, variable, '\0')) {
      if (variable != wanted) continue;
      ::kill(std::stoi(name), SIGTERM);
      break;
    }
  }
}

}  // namespace nolt::host_tests
