// tests/support/test_host_process.h - scoped temporary folders and a running test_host.
// Integration tests start the stand-in host in an environment of their own (a temporary
// HOME and XDG_RUNTIME_DIR), talk to it through the real programs, and let the destructor
// stop it.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nolt::test_support {

// A fresh folder under $TMPDIR (else /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Writes `text` to file(name), creating parent folders; false when that fails.
  bool write(std::string_view name, std::string_view text) const;

 private:
  std::string path_;
};

// Where ctest's built test programs live: $NOLT_TEST_BIN, else the folder of this executable.
std::string testBinaryFolder();

// Whole contents of a file; none when it cannot be read.
std::optional<std::string> readFile(const std::string& path);

// test_host started with posix_spawn; it is stopped (SIGTERM, then SIGKILL after 5 s) and
// reaped when this object goes.
class TestHostProcess {
 public:
  // `arguments` are test_host's options (see test_host.cpp); a --ready-file is added here.
  // `environment` is the host's whole environment: nothing of the test's is inherited.
  // Waits up to `readyTimeout` seconds for the host to serve.
  TestHostProcess(std::vector<std::string> arguments,
                  std::map<std::string, std::string> environment, double readyTimeout = 10);
  ~TestHostProcess();
  TestHostProcess(const TestHostProcess&) = delete;
  TestHostProcess& operator=(const TestHostProcess&) = delete;

  // True once the host announced it serves; false when it exited or never got there.
  bool ready() const { return ready_; }
  pid_t pid() const { return pid_; }
  // Sends SIGTERM and reaps the host; its wait status, or none when it was never started.
  std::optional<int> stop();

 private:
  TempDir scratch_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::optional<int> status_;
};

// HOME=<home>, XDG_RUNTIME_DIR=<runtime>, XDG_DATA_HOME=<home>/.local/share and the test's PATH:
// the environment of a desktop session confined to temporary folders.
std::map<std::string, std::string> sessionEnvironment(const std::string& home,
                                                      const std::string& runtime);

}  // namespace nolt::test_support
