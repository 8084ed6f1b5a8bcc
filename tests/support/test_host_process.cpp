#include "tests/support/test_host_process.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/deadline.h"

namespace nolt::test_support {

namespace fs = std::filesystem;

std::string testBinaryFolder() {
  if (const char* bin = std::getenv("NOLT_TEST_BIN"); bin && *bin) return bin;
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : self.parent_path().string();
}

std::map<std::string, std::string> sessionEnvironment(const std::string& home,
                                                      const std::string& runtime) {
  std::map<std::string, std::string> env{
      {"HOME", home},
      {"XDG_RUNTIME_DIR", runtime},
      {"XDG_DATA_HOME", home + "/.local/share"},
  };
  const char* path = std::getenv("PATH");
  env["PATH"] = path ? path : "/usr/bin:/bin";
  passSanitizerSettings(env);
  return env;
}

namespace {

Subprocess::Options hostOptions(const std::string& readyFile, std::vector<std::string> arguments,
                                std::map<std::string, std::string> environment) {
  Subprocess::Options options;
  options.argv = {testBinaryFolder() + "/test_host", "--ready-file", readyFile};
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.environment = std::move(environment);
  options.input = options.output = Stream::inherit();
  return options;
}

}  // namespace

TestHostProcess::TestHostProcess(std::vector<std::string> arguments,
                                 std::map<std::string, std::string> environment,
                                 double readyTimeout)
    : process_(hostOptions(scratch_.file("ready"), std::move(arguments), std::move(environment))) {
  if (!process_.started()) return;
  std::string readyFile = scratch_.file("ready");
  // Exited before it served: not ready.
  ready_ = waitUntil(readyTimeout,
                     [&] { return access(readyFile.c_str(), F_OK) == 0 || process_.poll(); }) &&
           !process_.status();
}

TestHostProcess::~TestHostProcess() { stop(); }

std::optional<int> TestHostProcess::stop() { return process_.stop(5); }

}  // namespace nolt::test_support
