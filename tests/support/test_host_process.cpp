#include "tests/support/test_host_process.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace nolt::test_support {

namespace {

namespace fs = std::filesystem;

// Polls `done` every 10 ms until it holds or `seconds` pass.
template <class Predicate>
bool waitUntil(double seconds, Predicate done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

std::string testBinaryFolder() {
  if (const char* bin = std::getenv("NOLT_TEST_BIN"); bin && *bin) return bin;
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : self.parent_path().string();
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::map<std::string, std::string> sessionEnvironment(const std::string& home,
                                                      const std::string& runtime) {
  std::map<std::string, std::string> env{
      {"HOME", home},
      {"XDG_RUNTIME_DIR", runtime},
      {"XDG_DATA_HOME", home + "/.local/share"},
  };
  // Sanitizer settings follow the test into the programs it starts.
  for (const char* name : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"})
    if (const char* value = std::getenv(name)) env[name] = value;
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
