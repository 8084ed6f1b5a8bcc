#include "tests/support/test_host_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/nolt-test-XXXXXX";
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

bool TempDir::write(std::string_view name, std::string_view text) const {
  fs::path target = file(name);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out.flush());
}

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

TestHostProcess::TestHostProcess(std::vector<std::string> arguments,
                                 std::map<std::string, std::string> environment,
                                 double readyTimeout) {
  std::string readyFile = scratch_.file("ready");
  std::vector<std::string> argvText{testBinaryFolder() + "/test_host", "--ready-file", readyFile};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText;
  for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return;
  pid_ = pid;
  ready_ = waitUntil(readyTimeout,
                     [&] {
                       if (access(readyFile.c_str(), F_OK) == 0) return true;
                       int status = 0;
                       if (waitpid(pid_, &status, WNOHANG) == pid_) {
                         status_ = status;
                         return true;  // exited before it served: not ready
                       }
                       return false;
                     }) &&
           !status_;
}

TestHostProcess::~TestHostProcess() { stop(); }

std::optional<int> TestHostProcess::stop() {
  if (pid_ < 0 || status_) return status_;
  kill(pid_, SIGTERM);
  int status = 0;
  bool reaped = waitUntil(5, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
  if (!reaped) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  status_ = status;
  return status_;
}

}  // namespace nolt::test_support
